// FolderTree: volumes at the top, folders read one level at a time.
#include "controls/explorer/FolderTree.h"

#include "controls/explorer/BusyCursor.h"
#include "platform/application.h"
#include "platform/exception.h"
#include "platform/folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>

namespace folders = platform::folders;
using platform::shell::DriveType;
using platform::shell::Volume;

namespace {

// Placeholder texts: one for volumes not looked into, one for a folder with subfolders.
const QString kUnreadVolume = QString();
const QString kHasSubfolders = QStringLiteral("**");

// True when something lies below the folder marker found in path (the folder itself is fine).
bool isInside(const QString& path, qsizetype at, qsizetype markerLength)
{
    return at >= 0 && at + markerLength < path.size();
}

// Recycled folders and the trash folders of Linux desktops may be listed, their contents not.
bool isInsideTrash(const QString& path)
{
    const QString recycled = QStringLiteral("/recycled/");
    if (isInside(path, path.toLower().indexOf(recycled), recycled.size()))
        return true;
    static const QRegularExpression volumeTrash(QStringLiteral("/\\.Trash(-\\d+)?/"));
    const QRegularExpressionMatch match = volumeTrash.match(path);
    if (match.hasMatch() && isInside(path, match.capturedStart(), match.capturedLength()))
        return true;
    const QString homeTrash =
        folders::addSlash(QDir::homePath()) + QStringLiteral(".local/share/Trash/");
    return path.startsWith(homeTrash) && path.size() > homeTrash.size();
}

// The volume whose mount point holds the path most closely, or none.
const Volume* volumeHolding(const QList<Volume>& volumes, const QString& path)
{
    const Volume* best = nullptr;
    for (const Volume& volume : volumes) {
        if (path.startsWith(volume.path)
            && (best == nullptr || volume.path.size() > best->path.size()))
            best = &volume;
    }
    return best;
}

FolderNode* nodeOf(QTreeWidgetItem* item)
{
    return static_cast<FolderNode*>(item);
}

} // namespace

void FolderNode::setImages(const QIcon& image, const QIcon& selectedImage)
{
    m_image = image;
    m_selectedImage = selectedImage;
    // One icon whose selected mode is the open picture, as the tree view draws it.
    QIcon shown;
    const QSize size(platform::shell::kSmallIconSize, platform::shell::kSmallIconSize);
    shown.addPixmap(image.pixmap(size), QIcon::Normal);
    shown.addPixmap(selectedImage.pixmap(size), QIcon::Selected);
    setIcon(0, shown);
}

FolderTree::FolderTree(QWidget* parent, VolumeSource volumes)
    : base(parent)
    , m_volumes(volumes ? std::move(volumes) : VolumeSource(&platform::shell::browsableVolumes))
    , m_homeFolder(folders::addSlash(QDir::homePath()))
    , m_folderIcon(platform::shell::smallFolderIcon())
    , m_openFolderIcon(platform::shell::smallOpenFolderIcon())
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSortingEnabled(false);
    setIconSize(QSize(platform::shell::kSmallIconSize, platform::shell::kSmallIconSize));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setExpandsOnDoubleClick(true);
    // The selection, not the focus: Qt focuses the first node on entry without selecting it.
    // What a handler throws goes to the error box here rather than through Qt's signals.
    connect(this, &QTreeWidget::itemSelectionChanged, this,
            [this] { platform::guarded([this] { Change(selectedNode()); }); });
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        platform::guarded([this, item] { CanExpand(item); });
    });

    // The volume of the current directory starts at that directory.
    const QString current = folders::addSlash(folders::currentFolder());
    const QList<Volume> mounted = m_volumes();
    if (const Volume* volume = volumeHolding(mounted, current))
        m_lastDirs.insert(volume->path, current);

    LoadDrives();
}

FolderTree::~FolderTree()
{
    // Handlers of the owner may already be gone: release the data without events.
    m_destroying = true;
    m_drivesLoaded = false;
    disconnect(this, nullptr, this, nullptr);
    ClearAll();
}

QString FolderTree::Directory() const
{
    const QString path = NodePath(selectedNode());
    return path.isEmpty() ? QStringLiteral("nil") : path;
}

QString FolderTree::NodePath(const QTreeWidgetItem* node)
{
    if (node == nullptr)
        return {};
    const DirectoryEntry* entry = static_cast<const FolderNode*>(node)->Entry();
    return entry != nullptr ? entry->FullPath : QString();
}

void FolderTree::setDirectory(const QString& value)
{
    if (value.isEmpty())
        throw platform::Exception(QCoreApplication::translate("FolderTree", "无效的目录名"));
    if (value == QStringLiteral("nil"))
        return;
    QString path =
        folders::addSlash(QDir::cleanPath(QDir(folders::currentFolder()).absoluteFilePath(value)));
    if (!folders::folderExists(path))
        path = QStringLiteral("/");
    if (!m_network && driveTypeOf(path) == DriveType::Remote)
        path = m_homeFolder;

    // A path that leaves the tree keeps the selection.
    if (FolderNode* found = nodeReadDownTo(path)) {
        setCurrentItem(found);
        scrollToItem(found, QAbstractItemView::PositionAtTop);
    }
}

void FolderTree::showFolder(const QString& path)
{
    if (FolderNode* found = nodeReadDownTo(folders::addSlash(QDir::cleanPath(path)))) {
        selectionModel()->setCurrentIndex(indexFromItem(found), QItemSelectionModel::NoUpdate);
        scrollToItem(found, QAbstractItemView::PositionAtTop);
    }
}

FolderNode* FolderTree::nodeReadDownTo(const QString& path)
{
    FolderNode* node = topLevelNodeFor(path);
    if (node == nullptr)
        return nullptr;
    const BusyCursor busy;
    const RepaintSuspender suspended(this);
    ReadChildren(node);
    QString part = node->Entry()->FullPath;
    const QStringList levels = path.mid(part.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString& level : levels) {
        part += level + u'/';
        FolderNode* child = nullptr;
        for (int i = 0; i < node->childCount() && child == nullptr; ++i) {
            if (NodePath(node->child(i)) == part)
                child = nodeOf(node->child(i));
        }
        if (child == nullptr)
            return nullptr;
        ReadChildren(child);
        node = child;
    }
    return node;
}

void FolderTree::setNetwork(bool value)
{
    if (value == m_network)
        return;
    m_network = value;
    Reload();
}

QString FolderTree::LastDirs(const QString& volumePath) const
{
    return m_lastDirs.value(volumePath, volumePath);
}

void FolderTree::LoadDrives()
{
    if (m_loadingDrives)
        return;
    m_loadingDrives = true;
    m_drivesLoaded = false;
    // However the load ends, even by a handler that throws, the tree reports changes again.
    const auto loaded = qScopeGuard([this] {
        m_drivesLoaded = true;
        m_loadingDrives = false;
    });
    const BusyCursor busy;
    const RepaintSuspender suspended(this);
    ClearAll();
    // Let a shown tree settle once emptied; user input waits until the volumes are back.
    if (isVisible())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    for (const Volume& volume : m_volumes()) {
        if (!DriveIncluded(volume) || !AcceptFolder(volume.path))
            continue;
        FolderNode* node = AddRootNode(volume);
        if (m_fastLoad) {
            addPlaceholder(node, kUnreadVolume);
            continue;
        }
        switch (volume.type) {
        case DriveType::Fixed:
        case DriveType::Remote:
        case DriveType::RamDisk: HasSubfolders(node); break;
        case DriveType::Unknown:
        case DriveType::NoRootDir:
        case DriveType::Removable:
        case DriveType::CdRom:
            // Empty drives would answer slowly or not at all: look when the user asks.
            addPlaceholder(node, kUnreadVolume);
            break;
        }
    }
}

void FolderTree::Reload()
{
    const QString remembered = Directory();
    LoadDrives();
    setDirectory(remembered);
    if (topLevelItemCount() > 0 && selectedNode() == nullptr
        && remembered != QStringLiteral("nil")) {
        if (const FolderNode* volume = topLevelNodeFor(remembered))
            setDirectory(volume->Entry()->FullPath);
    }
    if (topLevelItemCount() == 0 || selectedNode() != nullptr)
        return;
    try {
        FolderNode* node = nullptr;
        for (int i = 0; i < topLevelItemCount(); ++i) {
            node = nodeOf(topLevelItem(i));
            const DirectoryEntry* entry = node->Entry();
            if (node->childCount() == 0 || (entry != nullptr && entry->ChildrenRead))
                break;
        }
        const QString volumePath = NodePath(node);
        const QString last = LastDirs(volumePath);
        setDirectory(last);
        if (Directory() != last) {
            if (selectedNode() == node)
                Change(node);
            else
                setCurrentItem(node);
        }
    } catch (...) {
        // Choosing a folder to show is a convenience; failing to is no error.
    }
}

void FolderTree::ClearAll()
{
    for (QTreeWidgetItemIterator it(this); *it != nullptr; ++it)
        nodeOf(*it)->releaseEntry();
    while (topLevelItemCount() > 0)
        deleteNode(nodeOf(topLevelItem(topLevelItemCount() - 1)));
}

bool FolderTree::AcceptFolder(const QString& path)
{
    if (isInsideTrash(path))
        return false;
    bool add = true;
    if (OnAddDirectory)
        OnAddDirectory(this, path, add);
    return add;
}

bool FolderTree::DriveIncluded(const Volume& volume) const
{
    return m_network || volume.type != DriveType::Remote;
}

FolderNode* FolderTree::AddRootNode(const Volume& volume)
{
    auto* node = new FolderNode;
    node->setText(0, volume.displayName);
    node->setEntry(
        std::make_unique<DirectoryEntry>(DirectoryEntry{folders::addSlash(volume.path), false}));
    addTopLevelItem(node);
    const QIcon icon = platform::shell::smallVolumeIcon(volume);
    SetIcons(node, icon, icon);
    return node;
}

FolderNode* FolderTree::AddFolderNode(FolderNode* parent, const QString& path)
{
    const QString fullPath = folders::addSlash(path);
    auto* node = new FolderNode;
    node->setText(0, platform::shell::displayName(fullPath));
    node->setEntry(std::make_unique<DirectoryEntry>(DirectoryEntry{fullPath, false}));
    parent->addChild(node);
    SetIcons(node, platform::shell::smallFolderIcon(fullPath), m_openFolderIcon);
    return node;
}

void FolderTree::SetIcons(FolderNode* node, const QIcon& icon, const QIcon& openIcon)
{
    node->setImages(icon, openIcon);
    if (OnGetIcon)
        OnGetIcon(this, node);
}

void FolderTree::forEachFolder(const QString& path,
                               const std::function<bool(const QString&)>& visit)
{
    SearchRec = {};
    auto counts = [this] {
        return (SearchRec.Attr & faDirectory) != 0 && SearchRec.Name != QStringLiteral(".")
            && SearchRec.Name != QStringLiteral("..") && !folders::isHiddenName(SearchRec.Name);
    };
    if (OnFindDirectory) {
        int result = 0;
        OnFindDirectory(this, path, result, true);
        while (result == 0) {
            if (counts() && !visit(SearchRec.Name))
                return;
            OnFindDirectory(this, path, result, false);
        }
        return;
    }
    // Folders without permission simply list nothing.
    QDirIterator search(path, QDir::Dirs | QDir::NoDotAndDotDot);
    while (search.hasNext()) {
        search.next();
        SearchRec.FindData = search.fileInfo();
        SearchRec.Name = SearchRec.FindData.fileName();
        SearchRec.Attr = SearchRec.FindData.isDir() ? faDirectory : 0;
        if (counts() && !visit(SearchRec.Name))
            return;
    }
}

void FolderTree::HasSubfolders(FolderNode* node)
{
    const DirectoryEntry* entry = node->Entry();
    // A node that already has its placeholder is not probed again on the next expansion.
    if (entry == nullptr || entry->ChildrenRead || node->childCount() > 0)
        return;
    const QString path = entry->FullPath;
    forEachFolder(path, [&](const QString& name) {
        if (!AcceptFolder(path + name + u'/'))
            return true;
        addPlaceholder(node, kHasSubfolders);
        return false;
    });
}

void FolderTree::ReadChildren(FolderNode* node)
{
    DirectoryEntry* entry = node->Entry();
    if (entry == nullptr || entry->ChildrenRead)
        return;
    while (node->childCount() > 0)
        deleteNode(nodeOf(node->child(node->childCount() - 1)));
    entry->ChildrenRead = true;
    const QString path = entry->FullPath;
    QStringList names;
    forEachFolder(path, [&](const QString& name) {
        if (AcceptFolder(path + name + u'/'))
            names.append(name);
        return true;
    });
    std::sort(names.begin(), names.end(), folders::lessFileName);
    for (const QString& name : names)
        AddFolderNode(node, path + name);
}

void FolderTree::ProbeChildren(FolderNode* node)
{
    for (int i = 0; i < node->childCount(); ++i)
        HasSubfolders(nodeOf(node->child(i)));
}

void FolderTree::CanExpand(QTreeWidgetItem* item)
{
    FolderNode* node = nodeOf(item);
    {
        const BusyCursor busy;
        ReadChildren(node);
        ProbeChildren(node);
    }
    bool allow = true;
    if (OnExpanding)
        OnExpanding(this, node, allow);
    if (!allow)
        collapseItem(node);
}

void FolderTree::keyPressEvent(QKeyEvent* event)
{
    // "*" would read every folder below, for ever through a looping link: one level only.
    if (event->key() == Qt::Key_Asterisk) {
        if (QTreeWidgetItem* current = currentItem())
            expandItem(current);
        event->accept();
        return;
    }
    base::keyPressEvent(event);
}

QItemSelectionModel::SelectionFlags FolderTree::selectionCommand(const QModelIndex& index,
                                                                 const QEvent* event) const
{
    // Ctrl would unselect the chosen folder and leave the window without one.
    const QItemSelectionModel::SelectionFlags command = base::selectionCommand(index, event);
    return command.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate
                                                           : command;
}

void FolderTree::Change(QTreeWidgetItem* item)
{
    if (m_destroying || !m_drivesLoaded)
        return;
    FolderNode* node = item != nullptr ? nodeOf(item) : nullptr;
    if (const QString path = NodePath(node); !path.isEmpty()) {
        QTreeWidgetItem* top = node;
        while (top->parent() != nullptr)
            top = top->parent();
        const QString volumePath = NodePath(top);
        if (!volumePath.isEmpty())
            m_lastDirs.insert(volumePath, path);
    }
    if (OnChange)
        OnChange(this, node);
}

void FolderTree::deleteNode(FolderNode* node)
{
    while (node->childCount() > 0)
        deleteNode(nodeOf(node->child(node->childCount() - 1)));
    node->releaseEntry();
    if (OnDeleteItem && !m_destroying)
        OnDeleteItem(this, node);
    delete node;
}

void FolderTree::addPlaceholder(FolderNode* node, const QString& text)
{
    auto* placeholder = new FolderNode;
    placeholder->setText(0, text);
    node->addChild(placeholder);
}

FolderNode* FolderTree::selectedNode() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : nodeOf(selected.first());
}

FolderNode* FolderTree::topLevelNodeFor(const QString& path) const
{
    const QString wanted = folders::addSlash(path);
    FolderNode* best = nullptr;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QString nodePath = NodePath(topLevelItem(i));
        if (!nodePath.isEmpty() && wanted.startsWith(nodePath)
            && (best == nullptr || nodePath.size() > best->Entry()->FullPath.size()))
            best = nodeOf(topLevelItem(i));
    }
    return best;
}

DriveType FolderTree::driveTypeOf(const QString& path) const
{
    const QList<Volume> volumes = m_volumes();
    const Volume* volume = volumeHolding(volumes, path);
    return volume != nullptr ? volume->type : DriveType::Unknown;
}
