// The station grid's context menu: forgetting the certificate remembered for a station.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QPoint;
class StationGrid;

// A right click on a row's number or one of its cells (or the menu key, or Shift+F10, on the
// current row) offers "忘记证书(&F)..." when a certificate is remembered for the row's
// address and port; once confirmed, the next contact remembers the one the station then shows.
class CertificateMenu : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CertificateMenu)

public:
    // `settingsPath` gives the Stations.ini that holds the certificates.
    CertificateMenu(StationGrid* grid, std::function<QString()> settingsPath);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The menu of station row `row` (from 1) at `globalPosition`.
    void showMenu(int row, const QPoint& globalPosition);
    void confirmForgetting(const QString& name, const QString& address, quint16 port);

    StationGrid* m_grid;
    std::function<QString()> m_settingsPath;
};
