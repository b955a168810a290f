// The station grid's context menu: forgetting the certificate remembered for a station.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QPoint;
class StationGrid;

// A right click on a row's number or one of its cells (or the menu key, or Shift+F10, on the
// current row) offers "忘记证书(&F)..." for an FTP station, "忘记主机密钥(&F)..." for an SFTP
// one, when one is remembered for the row's address and port; once confirmed, the next
// contact remembers the one the station then shows.
class CertificateMenu : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CertificateMenu)

public:
    // `settingsPath` gives the Stations.ini that holds the certificates.
    CertificateMenu(StationGrid* grid, std::function<QString()> settingsPath);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What a row's menu forgets: the certificate of an FTP station's server, or the host key
    // of an SFTP station's.
    struct Pin {
        bool hostKey = false;
        QString name;
        QString address;
        quint16 port = 0;
    };

    // The menu of station row `row` (from 1) at `globalPosition`.
    void showMenu(int row, const QPoint& globalPosition);
    void confirmForgetting(const Pin& pin);
    // The fingerprint remembered for the pin; empty when none is.
    QByteArray fingerprint(const Pin& pin) const;

    StationGrid* m_grid;
    std::function<QString()> m_settingsPath;
};
