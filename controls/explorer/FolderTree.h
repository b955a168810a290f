// TOvoExplorerTree: a lazily read tree of volumes and folders with the shell's names and icons.
#pragma once

#include "platform/shell.h"

#include <QFileInfo>
#include <QIcon>
#include <QMap>
#include <QString>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <functional>
#include <memory>

// The data of a volume or folder node; placeholder nodes have none.
struct TOvoDirectoryEntry {
    QString FullPath;  // with a trailing "/", as the file system spells it
    bool ChildrenRead = false;
};

// The entry a folder search is looking at; an OnFindDirectory handler fills Attr and Name.
struct TOvoDirectoryRecord {
    quint32 Attr = 0;
    QString Name;
    QFileInfo FindData;  // the current entry of the tree's own search
};

// The directory bit of TOvoDirectoryRecord::Attr.
constexpr quint32 faDirectory = 16;

class TOvoTreeNode : public QTreeWidgetItem {
public:
    TOvoTreeNode() = default;
    Q_DISABLE_COPY_MOVE(TOvoTreeNode)

    TOvoDirectoryEntry* Entry() const { return m_entry.get(); }
    void setEntry(std::unique_ptr<TOvoDirectoryEntry> entry) { m_entry = std::move(entry); }
    void releaseEntry() { m_entry.reset(); }

    // The normal and the selected ("open") picture of the node.
    const QIcon& Image() const { return m_image; }
    const QIcon& SelectedImage() const { return m_selectedImage; }
    void setImages(const QIcon& image, const QIcon& selectedImage);

private:
    std::unique_ptr<TOvoDirectoryEntry> m_entry;
    QIcon m_image;
    QIcon m_selectedImage;
};

class TOvoExplorerTree : public QTreeWidget {
    Q_OBJECT
public:
    using base = QTreeWidget;
    using TNodeEvent = std::function<void(QObject* Sender, TOvoTreeNode* Node)>;
    using TOvoAddFileEvent = std::function<void(QObject* Sender, const QString& FileName, bool& DoAdd)>;
    using TOvoFindDirectoryEvent =
        std::function<void(QObject* Sender, const QString& Path, int& Result, bool First)>;
    using TExpandingEvent =
        std::function<void(QObject* Sender, TOvoTreeNode* Node, bool& AllowExpansion)>;
    // Where the top-level nodes come from; tests hand in their own volumes.
    using VolumeSource = std::function<QList<platform::shell::Volume>()>;

    explicit TOvoExplorerTree(QWidget* parent = nullptr, VolumeSource volumes = {});
    ~TOvoExplorerTree() override;
    Q_DISABLE_COPY_MOVE(TOvoExplorerTree)

    // FullPath of the selected node, or "nil".
    QString Directory() const;
    void setDirectory(const QString& path);
    bool Network() const { return m_network; }
    void setNetwork(bool value);
    bool FastLoad() const { return m_fastLoad; }
    void setFastLoad(bool value) { m_fastLoad = value; }
    bool DrivesLoaded() const { return m_drivesLoaded; }
    // The folder selected last below a top-level node (its own path when none was).
    QString LastDirs(const QString& volumePath) const;
    QString WindowsDir() const { return m_windowsDir; }
    const QIcon& FolderIcon() const { return m_folderIcon; }
    const QIcon& OpenFolderIcon() const { return m_openFolderIcon; }

    void LoadDrives();
    void Reload();
    void ClearAll();
    bool AcceptFolder(const QString& path);
    static QString NodePath(const QTreeWidgetItem* node);

    TOvoAddFileEvent OnAddDirectory;
    TNodeEvent OnDeleteItem;
    TNodeEvent OnGetIcon;
    TOvoFindDirectoryEvent OnFindDirectory;
    TNodeEvent OnChange;
    TExpandingEvent OnExpanding;
    // The search record an OnFindDirectory handler fills.
    TOvoDirectoryRecord SearchRec;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    bool DriveIncluded(const platform::shell::Volume& volume) const;
    TOvoTreeNode* AddRootNode(const platform::shell::Volume& volume);
    TOvoTreeNode* AddFolderNode(TOvoTreeNode* parent, const QString& path);
    void SetIcons(TOvoTreeNode* node, const QIcon& icon, const QIcon& openIcon);
    void HasSubfolders(TOvoTreeNode* node);
    void ReadChildren(TOvoTreeNode* node);
    void ProbeChildren(TOvoTreeNode* node);
    void CanExpand(QTreeWidgetItem* item);
    void Change(QTreeWidgetItem* item);
    void deleteNode(TOvoTreeNode* node);
    void addPlaceholder(TOvoTreeNode* node, const QString& text);
    // Calls visit(name) for each counting subfolder of path until it returns false.
    void forEachFolder(const QString& path, const std::function<bool(const QString&)>& visit);
    TOvoTreeNode* selectedNode() const;
    TOvoTreeNode* topLevelNodeFor(const QString& path) const;
    platform::shell::DriveType driveTypeOf(const QString& path) const;

    VolumeSource m_volumes;
    QMap<QString, QString> m_lastDirs;
    QString m_windowsDir;
    QIcon m_folderIcon;
    QIcon m_openFolderIcon;
    bool m_fastLoad = false;
    bool m_network = true;
    bool m_drivesLoaded = false;
    bool m_loadingDrives = false;
    bool m_destroying = false;
};
