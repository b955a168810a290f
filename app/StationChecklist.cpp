// Items and ticks of the station check list.
#include "app/StationChecklist.h"

#include <QListWidget>

namespace {

constexpr int itemHeight = 16;

} // namespace

StationChecklist::StationChecklist(QListWidget* list)
    : m_list(list)
{
}

void StationChecklist::setNames(const QStringList& names)
{
    while (m_list->count() > names.size())
        delete m_list->takeItem(m_list->count() - 1);
    for (int item = 0; item < names.size(); ++item) {
        if (item < m_list->count()) {
            m_list->item(item)->setText(names[item]);
            continue;
        }
        auto* added = new QListWidgetItem(names[item], m_list);
        added->setSizeHint(QSize(0, itemHeight));
        added->setFlags(added->flags() | Qt::ItemIsUserCheckable);
        added->setCheckState(Qt::Checked);
    }
}

QList<int> StationChecklist::tickedItems() const
{
    QList<int> ticked;
    for (int item = 0; item < m_list->count(); ++item)
        if (m_list->item(item)->checkState() == Qt::Checked)
            ticked << item;
    return ticked;
}

void StationChecklist::tickOnly(const QList<int>& items)
{
    for (int item = 0; item < m_list->count(); ++item)
        m_list->item(item)->setCheckState(items.contains(item) ? Qt::Checked : Qt::Unchecked);
}
