// Items and ticks of the station check list.
#include "app/StationChecklist.h"

#include "app/StationSettings.h"

#include <QHash>
#include <QListWidget>
#include <QSignalBlocker>

#include <algorithm>

namespace {

constexpr int itemHeight = 16;
// An item's station identity.
constexpr int keyRole = Qt::UserRole;

} // namespace

StationChecklist::StationChecklist(QListWidget* list)
    : m_list(list)
{
}

void StationChecklist::setStations(const QList<Station>& stations, const QList<bool>& ticks)
{
    QHash<QString, bool> kept;
    for (int item = 0; item < m_list->count(); ++item)
        kept.insert(m_list->item(item)->data(keyRole).toString(),
                    m_list->item(item)->checkState() == Qt::Checked);
    const QStringList keys = stationKeys(stations);
    // Rebuilding the list is not the clerk ticking anything.
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    for (qsizetype index = 0; index < stations.size(); ++index) {
        auto* added = new QListWidgetItem(stations[index].name, m_list);
        added->setSizeHint(QSize(0, itemHeight));
        added->setFlags(added->flags() | Qt::ItemIsUserCheckable);
        added->setData(keyRole, keys[index]);
        const bool ticked = kept.value(keys[index], ticks.value(index, true));
        added->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
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

QList<bool> StationChecklist::ticks() const
{
    QList<bool> ticks;
    for (int item = 0; item < m_list->count(); ++item)
        ticks << (m_list->item(item)->checkState() == Qt::Checked);
    return ticks;
}

void StationChecklist::tickOnly(const QList<int>& items)
{
    const QSignalBlocker quiet(m_list);
    for (int item = 0; item < m_list->count(); ++item)
        m_list->item(item)->setCheckState(items.contains(item) ? Qt::Checked : Qt::Unchecked);
}

void StationChecklist::toggleAll()
{
    const QList<bool> now = ticks();
    const bool all = std::all_of(now.begin(), now.end(), [](bool ticked) { return ticked; });
    const QSignalBlocker quiet(m_list);
    for (int item = 0; item < m_list->count(); ++item)
        m_list->item(item)->setCheckState(all ? Qt::Unchecked : Qt::Checked);
}
