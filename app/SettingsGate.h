// The settings page's password: the prompt, unlocking the page and changing the password.
#pragma once

#include <QByteArray>
#include <QObject>

namespace Ui {
class MainWindow;
}

class SettingsGate : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsGate)

public:
    SettingsGate(Ui::MainWindow& ui, QWidget* window);

    // The password as the folder file holds it (GBK bytes, compared byte for byte).
    QByteArray password() const { return m_password; }
    void setPassword(const QByteArray& password);

    // Shows or hides the prompt view of the settings page.
    void showPrompt(bool visible);
    // OK: the typed password unlocks the page's other views, or the prompt says it is wrong.
    void unlock();
    // Asks for a new password twice; only an unlocked page offers it.
    void changePassword();
    // The folder file that holds the password cannot be read: the page stays locked for
    // this run, and a red line says why.
    void lockOut(const QString& reason);

private:
    Ui::MainWindow& m_ui;
    QWidget* m_window;
    QByteArray m_password;
    bool m_unlocked = false;
    bool m_lockedOut = false;
};
