// The station check list of the stations page: one item per station, ticked or not.
#pragma once

#include "app/StationFile.h"

#include <QList>

class QListWidget;

// Ticks follow stations, not places in the list: a re-read of the station file keeps the
// tick of every station that is still there (by its identity, see stationKeys) and gives
// the others the tick Stations.ini remembers for them.
class StationChecklist {
public:
    explicit StationChecklist(QListWidget* list);

    // One item per station of the file, in order; `ticks` for stations not listed before.
    void setStations(const QList<Station>& stations, const QList<bool>& ticks);
    // The items (from 0, the stations' places in the file) that are ticked, in list order.
    QList<int> tickedItems() const;
    // The tick of every item.
    QList<bool> ticks() const;
    // Ticks these items and no other. Neither this nor toggleAll signals a change of an item.
    void tickOnly(const QList<int>& items);
    // "全选 / 全不选": ticks every item, or none when all are ticked.
    void toggleAll();

private:
    QListWidget* m_list;
};
