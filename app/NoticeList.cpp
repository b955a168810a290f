// The notice list's selection and its following of the folder on disk.
#include "app/NoticeList.h"

#include "controls/explorer/FileListView.h"
#include "platform/application.h"

#include <QFileInfo>
#include <QLabel>
#include <QScrollBar>
#include <QSet>
#include <QVBoxLayout>

namespace {

constexpr int settleMs = 150;

} // namespace

NoticeList::NoticeList(FileListView* view, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_emptyHint(new QLabel(view->viewport()))
{
    m_emptyHint->setObjectName(QStringLiteral("emptyNoticeHint"));
    m_emptyHint->setText(tr("此处没有通知文件。\n\n请打开“系统设置”页，输入口令，选“本地目录”，"
                            "再在目录树中选择通知所在的文件夹。"));
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setForegroundRole(QPalette::PlaceholderText);
    // Clicks go through to the list beneath.
    m_emptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QVBoxLayout(view->viewport());
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_emptyHint);
    // The hint goes before the view's model while the view is torn down: it ends the calls.
    const auto showHint = [this] { showHintWhenEmpty(); };
    QAbstractItemModel* model = view->model();
    connect(model, &QAbstractItemModel::rowsInserted, m_emptyHint, showHint);
    connect(model, &QAbstractItemModel::rowsRemoved, m_emptyHint, showHint);
    connect(model, &QAbstractItemModel::modelReset, m_emptyHint, showHint);
    showHintWhenEmpty();
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    connect(&m_settle, &QTimer::timeout, this, &NoticeList::reread);
}

NoticeSelection NoticeList::selection() const
{
    NoticeSelection selection(m_view->Directory());
    for (int row = 0; row < m_view->count(); ++row)
        if (m_view->Selected(row))
            selection.add(m_view->item(row)->text());
    return selection;
}

QString NoticeList::countText() const
{
    return tr("已选 %1 个文件").arg(selection().names().size());
}

QString NoticeList::emptySelectionMessage() const
{
    if (!selection().names().isEmpty())
        return {};
    return tr("没有选中要传送的通知文件：请先在“通知文件”页中选中它们");
}

void NoticeList::setMask(const QString& mask)
{
    keepingSelection([this, &mask] { m_view->setMask(mask); });
}

void NoticeList::showFolder(const QString& folder)
{
    if (!folder.isEmpty())
        m_view->setFileName(folder);
    followFolder();
}

void NoticeList::followFolder()
{
    const QStringList watched = m_watcher.directories();
    if (watched == QStringList{m_view->Directory()})
        return;
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    m_watcher.addPath(m_view->Directory());
}

void NoticeList::reread()
{
    platform::guarded([this] {
        // A folder that is gone has no notices left to send.
        if (!QFileInfo(m_view->Directory()).isDir())
            m_view->clear();
        else
            keepingSelection([this] { m_view->rereadFolder(); });
    });
}

void NoticeList::showHintWhenEmpty()
{
    m_emptyHint->setVisible(m_view->count() == 0);
}

template <typename Change>
void NoticeList::keepingSelection(Change&& change)
{
    const QString folder = m_view->Directory();
    QSet<QString> selected;
    for (const QListWidgetItem* item : m_view->selectedItems())
        selected.insert(item->text());
    const QString focused = m_view->currentItem() ? m_view->currentItem()->text() : QString();
    const int scrolled = m_view->verticalScrollBar()->value();

    change();

    if (m_view->Directory() != folder)
        return;
    for (int row = 0; row < m_view->count(); ++row) {
        QListWidgetItem* item = m_view->item(row);
        if (selected.contains(item->text()))
            item->setSelected(true);
        if (item->text() == focused)
            m_view->selectionModel()->setCurrentIndex(m_view->model()->index(row, 0),
                                                      QItemSelectionModel::NoUpdate);
    }
    m_view->verticalScrollBar()->setValue(scrolled);
}
