// The station file Addf.cfg: one 68-byte record per receiving station.
#pragma once

#include <QList>
#include <QString>

#include <array>

// A receiving station as the grid and the file hold it.
struct Station {
    QString name{};
    QString address{};
    QString user{};
    QString password{};

    bool operator==(const Station&) const = default;
};

// The fields in the order of the grid's columns and of the record.
inline constexpr std::array<QString Station::*, 4> stationFields{
    &Station::name, &Station::address, &Station::user, &Station::password};

// Records of four fields of 17 bytes: a length byte, then up to 16 GBK bytes.
class StationFile {
public:
    static constexpr qsizetype recordSize = 68;
    // GBK bytes a field holds.
    static constexpr qsizetype fieldBytes = 16;

    explicit StationFile(QString path);

    // The stations of the file's complete records, in order; none when there is no file. A
    // FIFO, a device or a file above 64 KiB is refused and left as it is.
    QList<Station> load() const;
    // Replaces the file atomically; a new file is readable by its owner only. A value
    // longer than 16 bytes is cut at a character boundary.
    void save(const QList<Station>& stations) const;

private:
    QString m_path;
};

// A grid row that a save leaves out: its address is empty or one blank.
bool isBlankRow(const Station& row);

// The stations that a save of the grid stores, from the grid's rows (first row first). A row
// whose address is empty or one blank is left out, its cells as they are. In the other rows a
// cell holding exactly "+" takes the value of the cell above it, in `rows` itself so that the
// grid shows it; the first row has nothing above it and keeps its "+".
QList<Station> applyGridRules(QList<Station>& rows);
