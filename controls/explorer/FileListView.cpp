// FileListView: file list of one folder, filtered by a mask, sorted without regard to case.
#include "controls/explorer/FileListView.h"

#include "controls/explorer/BusyCursor.h"
#include "platform/application.h"
#include "platform/exception.h"
#include "platform/folders.h"
#include "platform/shell.h"

#include <QDir>
#include <QDirIterator>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyledItemDelegate>

#include <algorithm>
#include <exception>

namespace {

constexpr int kTextIndent = 18;
// From this many names on, a re-read shows the busy cursor.
constexpr int kBusyItemCount = 100;

bool hasWildcard(const QString& name)
{
    return name.contains(u'*') || name.contains(u'?');
}

// "*" and "?" as in the classic file patterns, everything else literal, letter case ignored.
// A final ".*" also matches names without an extension, so "*.*" lists every file.
QRegularExpression patternExpression(QString pattern)
{
    bool optionalExtension = false;
    if (pattern.endsWith(QStringLiteral(".*"))) {
        pattern.chop(2);
        optionalExtension = true;
    }
    QString expression;
    for (const QChar c : pattern) {
        if (c == u'*')
            expression += QStringLiteral(".*");
        else if (c == u'?')
            expression += u'.';
        else
            expression += QRegularExpression::escape(QString(c));
    }
    if (optionalExtension)
        expression += QStringLiteral("(\\..*)?");
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::CaseInsensitiveOption
                                  | QRegularExpression::DotMatchesEverythingOption);
}

QList<QRegularExpression> maskExpressions(const QString& mask)
{
    QList<QRegularExpression> expressions;
    for (const QString& part : mask.split(u';')) {
        const QString pattern = part.trimmed();
        if (!pattern.isEmpty())
            expressions.append(patternExpression(pattern));
    }
    return expressions;
}

// Restores the current directory to the listed folder when a change of folder fails half-way.
class CurrentFolderRestorer {
public:
    explicit CurrentFolderRestorer(const QString& folder)
        : m_folder(folder)
        , m_exceptions(std::uncaught_exceptions())
    {
    }
    ~CurrentFolderRestorer()
    {
        if (std::uncaught_exceptions() > m_exceptions
            && platform::folders::folderExists(m_folder)) {
            try {
                platform::folders::setCurrentFolder(m_folder);
            } catch (...) { // the original failure is the one to report
            }
        }
    }
    Q_DISABLE_COPY_MOVE(CurrentFolderRestorer)

private:
    QString m_folder;
    int m_exceptions;
};

class ExplorerViewDelegate : public QStyledItemDelegate {
public:
    explicit ExplorerViewDelegate(FileListView* view)
        : QStyledItemDelegate(view)
        , m_view(view)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        m_view->DrawItem(painter, index.row(), option.rect, option);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), m_view->ItemHeight()};
    }

private:
    FileListView* m_view;
};

} // namespace

FileListView::FileListView(QWidget* parent)
    : base(parent)
    , m_directory(platform::folders::currentFolder())
    , m_folderBitmap(platform::shell::smallFolderIcon().pixmap(platform::shell::kSmallIconSize))
{
    resize(145, height());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setItemDelegate(new ExplorerViewDelegate(this));
    try {
        readFileList();
    } catch (const platform::InOutError&) {
        // A current directory that vanished leaves the list empty until a folder is set.
    }
}

FileListView::~FileListView() = default;

void FileListView::setDirectory(const QString& path)
{
    // An empty path is no folder: it fails below like any other.
    if (!path.isEmpty() && QDir::cleanPath(QDir(m_directory).absoluteFilePath(path)) == m_directory)
        return;
    if (platform::folders::folderExists(m_directory))
        platform::folders::setCurrentFolder(m_directory);
    platform::folders::setCurrentFolder(path);
    const QString now = platform::folders::currentFolder();
    if (now == m_directory)
        return;
    m_directory = now;
    readFileList();
}

void FileListView::setMask(const QString& patterns)
{
    if (patterns == m_mask)
        return;
    m_mask = patterns;
    readFileList();
}

void FileListView::setCharCase(LetterCase value)
{
    if (value == m_charCase)
        return;
    m_charCase = value;
    readFileList();
}

QString FileListView::FileName() const
{
    const QListWidgetItem* focused = currentItem();
    if (focused == nullptr || !focused->isSelected())
        return {};
    return platform::folders::joinPath(m_directory, focused->text());
}

void FileListView::setFileName(const QString& path)
{
    if (path.isEmpty() || path == FileName())
        return;
    const CurrentFolderRestorer restorer(m_directory);
    const qsizetype slash = path.lastIndexOf(u'/');
    QString folder = slash < 0 ? QString() : slash == 0 ? QStringLiteral("/") : path.left(slash);
    QString name = path.mid(slash + 1);
    if (!folder.isEmpty())
        platform::folders::setCurrentFolder(folder);
    folder = platform::folders::currentFolder();
    if (!name.isEmpty() && !hasWildcard(name)
        && !platform::folders::isFile(platform::folders::joinPath(folder, name))) {
        // Not a file: the last part names one more folder level.
        platform::folders::setCurrentFolder(name);
        folder = platform::folders::joinPath(folder, name);
        name.clear();
    }
    setDirectory(folder);
    if (hasWildcard(name)) {
        setMask(name);
    } else if (!name.isEmpty()) {
        if (findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()
            && platform::folders::isFile(platform::folders::joinPath(m_directory, name)))
            setMask(name);
        focusName(name);
    }
}

QStringList FileListView::Items() const
{
    QStringList names;
    names.reserve(count());
    for (int i = 0; i < count(); ++i)
        names.append(item(i)->text());
    return names;
}

bool FileListView::Selected(int index) const
{
    const QListWidgetItem* row = item(index);
    return row != nullptr && row->isSelected();
}

bool FileListView::MultiSelect() const
{
    return selectionMode() == QAbstractItemView::ExtendedSelection;
}

void FileListView::setMultiSelect(bool value)
{
    setSelectionMode(value ? QAbstractItemView::ExtendedSelection
                           : QAbstractItemView::SingleSelection);
}

void FileListView::setItemHeight(int value)
{
    if (value <= 0 || value == m_itemHeight)
        return;
    m_itemHeight = value;
    doItemsLayout();
}

void FileListView::Refresh()
{
    viewport()->update();
}

void FileListView::DrawItem(QPainter* painter, int index, const QRect& rect,
                            const QStyleOptionViewItem& state)
{
    const bool selected = state.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorGroup group =
        state.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    painter->fillRect(rect,
                      palette().brush(group, selected ? QPalette::Highlight : QPalette::Base));
    const QListWidgetItem* row = item(index);
    if (row == nullptr)
        return;
    const QString text = row->text();
    const QPoint corner = rect.topLeft();
    if (text.contains(u'[')) {
        painter->drawPixmap(corner, m_folderBitmap);
    } else {
        const QIcon icon =
            platform::shell::smallFileIcon(platform::folders::joinPath(m_directory, text));
        painter->drawPixmap(corner, icon.pixmap(platform::shell::kSmallIconSize));
    }
    const QRect textRect = rect.adjusted(kTextIndent, 0, 0, 0);
    painter->setFont(font());
    painter->setPen(palette().color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    if (state.state.testFlag(QStyle::State_HasFocus)) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect;
        focus.backgroundColor =
            palette().color(group, selected ? QPalette::Highlight : QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, this);
    }
}

void FileListView::readFileList()
{
    platform::folders::setCurrentFolder(m_directory);
    clear();
    const QList<QRegularExpression> expressions = maskExpressions(m_mask);
    {
        BusyCursor busy(false);
        QStringList names;
        // Hidden files (a leading ".") and folders are never listed.
        QDirIterator files(m_directory, QDir::Files);
        while (files.hasNext()) {
            files.next();
            const QString name = files.fileName();
            const bool matches =
                std::any_of(expressions.begin(), expressions.end(),
                            [&](const QRegularExpression& e) { return e.match(name).hasMatch(); });
            if (!matches)
                continue;
            names.append(name);
            if (names.size() == kBusyItemCount)
                busy.start();
        }
        std::sort(names.begin(), names.end(), platform::folders::lessFileName);
        addItems(names);
    }
    fire(OnChange);
}

void FileListView::focusName(const QString& name)
{
    const QList<QListWidgetItem*> found =
        findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!found.isEmpty())
        setCurrentItem(found.first());
}

void FileListView::fire(const NotifyEvent& event)
{
    if (event)
        event(this);
}

// Runs one piece of user input and reports what it changed: OnClick for a new selection
// or focus, then OnChange for a new focused item. What a handler throws goes to the
// error box here, so that the other events still come and nothing unwinds through Qt.
template <typename Input>
void FileListView::userInput(Input&& input)
{
    const int focusedBefore = currentRow();
    const QModelIndexList selectedBefore = selectionModel()->selectedIndexes();
    input();
    const bool focusChanged = currentRow() != focusedBefore;
    if (focusChanged || selectionModel()->selectedIndexes() != selectedBefore)
        platform::guarded([this] { fire(OnClick); });
    if (focusChanged)
        platform::guarded([this] { fire(OnChange); });
}

void FileListView::mousePressEvent(QMouseEvent* event)
{
    // Only the left button on a row selects: a stray click beside the rows keeps the selection.
    if (event->button() != Qt::LeftButton || itemAt(event->position().toPoint()) == nullptr) {
        event->accept();
        return;
    }
    userInput([&] { base::mousePressEvent(event); });
}

void FileListView::mouseMoveEvent(QMouseEvent* event)
{
    if (!event->buttons().testFlag(Qt::LeftButton)) {
        event->accept();
        return;
    }
    userInput([&] { base::mouseMoveEvent(event); });
}

void FileListView::mouseReleaseEvent(QMouseEvent* event)
{
    // A click on one of several selected rows selects it alone only on release.
    userInput([&] { base::mouseReleaseEvent(event); });
    if (OnMouseUp) {
        const QPoint at = event->position().toPoint();
        platform::guarded(
            [&] { OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y()); });
    }
}

void FileListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click counts on an item only, so it always names a file.
    if (event->button() != Qt::LeftButton || itemAt(event->position().toPoint()) == nullptr) {
        event->accept();
        return;
    }
    userInput([&] { base::mouseDoubleClickEvent(event); });
    platform::guarded([this] { fire(OnDblClick); });
}

void FileListView::keyPressEvent(QKeyEvent* event)
{
    userInput([&] { base::keyPressEvent(event); });
}
