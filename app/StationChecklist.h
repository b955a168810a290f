// The station check list of the stations page: one item per station, ticked or not.
#pragma once

#include <QList>
#include <QStringList>

class QListWidget;

// Ticks stay as the clerk left them while the program runs: a re-read of the station
// file renames the items and ticks only the stations that are new.
class StationChecklist {
public:
    explicit StationChecklist(QListWidget* list);

    // One item per name, item i for station row i + 1.
    void setNames(const QStringList& names);
    // The items (from 0) that are ticked, in list order.
    QList<int> tickedItems() const;
    // Ticks these items and no other.
    void tickOnly(const QList<int>& items);

private:
    QListWidget* m_list;
};
