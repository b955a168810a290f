// FolderTree: a lazily read tree of volumes and folders with the shell's names and icons.
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
struct DirectoryEntry {
    QString FullPath; // with a trailing "/", as the file system spells it
    bool ChildrenRead = false;
};

// The entry a folder search is looking at; an OnFindDirectory handler fills Attr and Name.
struct DirectoryRecord {
    quint32 Attr = 0;
    QString Name;
    QFileInfo FindData; // the current entry of the tree's own search
};

// The directory bit of DirectoryRecord::Attr.
constexpr quint32 faDirectory = 16;

class FolderNode : public QTreeWidgetItem {
public:
    FolderNode() = default;
    Q_DISABLE_COPY_MOVE(FolderNode)

    DirectoryEntry* Entry() const { return m_entry.get(); }
    void setEntry(std::unique_ptr<DirectoryEntry> entry) { m_entry = std::move(entry); }
    void releaseEntry() { m_entry.reset(); }

    // The normal and the selected ("open") picture of the node.
    const QIcon& Image() const { return m_image; }
    const QIcon& SelectedImage() const { return m_selectedImage; }
    void setImages(const QIcon& image, const QIcon& selectedImage);

private:
    std::unique_ptr<DirectoryEntry> m_entry;
    QIcon m_image;
    QIcon m_selectedImage;
};

class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    using base = QTreeWidget;
    using NodeEvent = std::function<void(QObject* Sender, FolderNode* Node)>;
    using AddFileEvent = std::function<void(QObject* Sender, const QString& FileName, bool& DoAdd)>;
    using FindDirectoryEvent =
        std::function<void(QObject* Sender, const QString& Path, int& Result, bool First)>;
    using ExpandingEvent =
        std::function<void(QObject* Sender, FolderNode* Node, bool& AllowExpansion)>;
    // Where the top-level nodes come from; tests hand in their own volumes.
    using VolumeSource = std::function<QList<platform::shell::Volume>()>;

    explicit FolderTree(QWidget* parent = nullptr, VolumeSource volumes = {});
    ~FolderTree() override;
    Q_DISABLE_COPY_MOVE(FolderTree)

    // FullPath of the selected node, or "nil".
    QString Directory() const;
    void setDirectory(const QString& path);
    // Opens the tree down to an existing folder and scrolls it to the top without choosing
    // it: Directory() and the selection stay as they are.
    void showFolder(const QString& path);
    bool Network() const { return m_network; }
    void setNetwork(bool value);
    bool FastLoad() const { return m_fastLoad; }
    void setFastLoad(bool value) { m_fastLoad = value; }
    bool DrivesLoaded() const { return m_drivesLoaded; }
    // The folder selected last below a top-level node (its own path when none was).
    QString LastDirs(const QString& volumePath) const;
    QString homeFolder() const { return m_homeFolder; }
    const QIcon& FolderIcon() const { return m_folderIcon; }
    const QIcon& OpenFolderIcon() const { return m_openFolderIcon; }

    void LoadDrives();
    void Reload();
    void ClearAll();
    bool AcceptFolder(const QString& path);
    static QString NodePath(const QTreeWidgetItem* node);

    AddFileEvent OnAddDirectory;
    NodeEvent OnDeleteItem;
    NodeEvent OnGetIcon;
    FindDirectoryEvent OnFindDirectory;
    NodeEvent OnChange;
    ExpandingEvent OnExpanding;
    // The search record an OnFindDirectory handler fills.
    DirectoryRecord SearchRec;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    bool DriveIncluded(const platform::shell::Volume& volume) const;
    FolderNode* AddRootNode(const platform::shell::Volume& volume);
    FolderNode* AddFolderNode(FolderNode* parent, const QString& path);
    void SetIcons(FolderNode* node, const QIcon& icon, const QIcon& openIcon);
    void HasSubfolders(FolderNode* node);
    void ReadChildren(FolderNode* node);
    void ProbeChildren(FolderNode* node);
    void CanExpand(QTreeWidgetItem* item);
    void Change(QTreeWidgetItem* item);
    void deleteNode(FolderNode* node);
    void addPlaceholder(FolderNode* node, const QString& text);
    // Calls visit(name) for each counting subfolder of path until it returns false.
    void forEachFolder(const QString& path, const std::function<bool(const QString&)>& visit);
    FolderNode* selectedNode() const;
    // The node of `path` (ending in "/"), reading the folders on the way; nullptr when the
    // path leaves the tree.
    FolderNode* nodeReadDownTo(const QString& path);
    FolderNode* topLevelNodeFor(const QString& path) const;
    platform::shell::DriveType driveTypeOf(const QString& path) const;

    VolumeSource m_volumes;
    QMap<QString, QString> m_lastDirs;
    QString m_homeFolder;
    QIcon m_folderIcon;
    QIcon m_openFolderIcon;
    bool m_fastLoad = false;
    bool m_network = true;
    bool m_drivesLoaded = false;
    bool m_loadingDrives = false;
    bool m_destroying = false;
};
