// The station file's records and the rules of a grid save.
#include "app/StationFile.h"

#include "platform/codepage.h"
#include "platform/files.h"

#include <QByteArray>

#include <algorithm>
#include <utility>

namespace {

constexpr int fieldSize = 17;

Station decodeRecord(const QByteArray& bytes)
{
    Station station;
    int offset = 0;
    for (QString Station::*field : stationFields) {
        // A damaged length byte above 16 must not reach into the next field.
        const int length =
            std::min<int>(static_cast<unsigned char>(bytes[offset]), StationFile::fieldBytes);
        station.*field = platform::fromCodePage(bytes.mid(offset + 1, length));
        offset += fieldSize;
    }
    return station;
}

// Writes the fields into `buffer`; bytes after each value keep what the buffer held.
void encodeRecord(const Station& station, QByteArray& buffer)
{
    int offset = 0;
    for (QString Station::*field : stationFields) {
        const QByteArray bytes = platform::toCodePage(station.*field);
        const qsizetype length = platform::codePagePrefixLength(bytes, StationFile::fieldBytes);
        buffer[offset] = static_cast<char>(length);
        std::copy_n(bytes.constData(), length, buffer.data() + offset + 1);
        offset += fieldSize;
    }
}

} // namespace

StationFile::StationFile(QString path)
    : m_path(std::move(path))
{
}

QList<Station> StationFile::load() const
{
    QList<Station> stations;
    if (!platform::fileExists(m_path))
        return stations;
    for (const QByteArray& record :
         platform::splitRecords(platform::readSettingsFile(m_path), recordSize))
        stations << decodeRecord(record);
    return stations;
}

void StationFile::save(const QList<Station>& stations) const
{
    QByteArray content;
    // One buffer for the whole save, as the file has always been written.
    QByteArray buffer(recordSize, '\0');
    for (const Station& station : stations) {
        encodeRecord(station, buffer);
        content += buffer;
    }
    platform::saveSettingsFile(m_path, content);
}

bool isBlankRow(const Station& row)
{
    return row.address.isEmpty() || row.address == QStringLiteral(" ");
}

QList<Station> applyGridRules(QList<Station>& rows)
{
    QList<Station> kept;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        if (isBlankRow(rows[row]))
            continue;
        // The first row has no station above it: its "+" stays as typed.
        if (row > 0)
            for (QString Station::*field : stationFields)
                if (rows[row].*field == QStringLiteral("+"))
                    rows[row].*field = rows[row - 1].*field;
        kept << rows[row];
    }
    return kept;
}
