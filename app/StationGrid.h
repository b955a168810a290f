// The station grid of the settings page: one station per row, edited in place.
#pragma once

#include "app/StationFile.h"
#include "app/StationSettings.h"

#include <QTableWidget>

class QTableView;

// Row 0 (the headings) and column 0 (the row numbers) are the table's headers; rows and
// columns of stations are counted from 1, as the row numbers show them. A cell editor takes
// no more than the 16 GBK bytes of a field. Columns 5 to 10 hold what Stations.ini keeps:
// the port (1-65535), the transfer mode (auto / 主动 / 被动, chosen from a list), a tick
// box for uploads under a temporary name (临时名), the TLS choice (加密: auto / 必须 / 关闭 /
// 隐式), the protocol (协议: FTP / SFTP) and the name encoding (编码: 自动 / UTF-8 / GBK), each
// chosen from a list where "+" takes the choice of the row above. The port follows the
// protocol and TLS choices while it holds their default; an SFTP row shows the mode, TLS and
// encoding cells as not applying ("—", not editable) and keeps what they held.
// The name column stays in view: scrolled sideways, a copy of it covers the left edge. The
// password column shows dots until its cell is edited. Tab on the last cell (Shift+Tab on the
// first) leaves the grid for the next (previous) control. A port outside 1-65535, an address
// that is neither an IP address nor a host name and a text longer than its field are refused
// or cut with a message (inputRefused).
class StationGrid : public QTableWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationGrid)

public:
    using base = QTableWidget;

    explicit StationGrid(QWidget* parent = nullptr);

    // Row numbers, the headings and the 18-pixel number column.
    void prepare();

    int stationRows() const { return rowCount(); }
    // Numbers the rows that are added.
    void setStationRows(int rows);
    Station station(int row) const;
    // Every row, the first row first.
    QList<Station> stations() const;
    // Rows from the first on, as many as given; only cells that differ are written.
    void setStations(const QList<Station>& stations);

    // The port, mode, temporary-name, TLS, protocol and encoding columns of every row; a
    // blank cell is the default (a blank port the default of the row's protocol and TLS).
    QList<StationOptions> options() const;
    // Rows from the first on; the rows after them are blanked.
    void setOptions(const QList<StationOptions>& options);

    // Sets choice cell (column, row) as the clerk picks it: a port that held the default of
    // the choices before shows the default of the new ones.
    void setChoice(int column, int row, const QString& text);

    // The station row (from 1) under `position` of the viewport, or else the current one;
    // 0 when there is none.
    int stationRowAt(const QPoint& position) const;

    // True for the grid and its cell editor.
    bool holds(const QWidget* widget) const;
    // Hands the text of the open cell editor to its cell.
    void commitEditor();

    // The text cell (column, row) shows: a password as dots.
    QString shownText(int column, int row) const;

signals:
    // A cell refused what was typed or pasted into it (a line break, say): `message` says why.
    void inputRefused(const QString& message);

protected:
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    bool focusNextPrevChild(bool next) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void updateGeometries() override;

private:
    // True when `index` is the cell that Tab (next) or Shift+Tab leaves the grid from.
    bool isEdgeCell(const QModelIndex& index, bool next) const;
    void createFrozenColumn();
    void placeFrozenColumn();
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString& text);
    void setTempName(int row, bool on);
    StationOptions rowOptions(int row) const;
    // The FTP-only cells of `row` editable or not as its protocol says.
    void showProtocol(int row);

    QTableView* m_frozen = nullptr;
};
