// Unlocking the settings page and changing its password.
#include "app/SettingsGate.h"

#include "app/PasswordDialog.h"
#include "platform/application.h"
#include "platform/codepage.h"

#include "ui_MainWindow.h"

SettingsGate::SettingsGate(Ui::MainWindow& ui, QWidget* window)
    : QObject(window)
    , m_ui(ui)
    , m_window(window)
{
    m_ui.wrongPasswordLabel->hide();
    m_ui.changePasswordButton->hide();
    connect(m_ui.unlockButton, &QPushButton::clicked, this,
            [this] { platform::guarded([this] { unlock(); }); });
    connect(m_ui.changePasswordButton, &QPushButton::clicked, this,
            [this] { platform::guarded([this] { changePassword(); }); });
}

void SettingsGate::setPassword(const QByteArray& password)
{
    m_password = password;
    showPrompt(!m_ui.passwordPrompt->isHidden());
}

void SettingsGate::showPrompt(bool visible)
{
    m_ui.passwordPrompt->setVisible(visible);
    m_ui.passwordEdit->setVisible(visible);
    // A first-time user cannot know that no password is set yet.
    m_ui.emptyPasswordHint->setVisible(visible && !m_unlocked && m_password.isEmpty());
    m_ui.changePasswordButton->setVisible(visible && m_unlocked);
}

void SettingsGate::lockOut(const QString& reason)
{
    m_lockedOut = true;
    auto* line = new QLabel(reason, m_ui.settingsPage);
    line->setObjectName(QStringLiteral("settingsLockedLabel"));
    line->setStyleSheet(QStringLiteral("color: red"));
    line->setWordWrap(true);
    line->setGeometry(12, 180, 250, 64);
    line->show();
    m_ui.unlockButton->setEnabled(false);
    m_ui.passwordEdit->setEnabled(false);
}

void SettingsGate::unlock()
{
    if (m_lockedOut)
        return;
    if (platform::toCodePage(m_ui.passwordEdit->text()) != m_password) {
        m_ui.wrongPasswordLabel->show();
        m_ui.passwordEdit->selectAll();
        return;
    }
    m_unlocked = true;
    m_ui.wrongPasswordLabel->hide();
    m_ui.unlockButton->hide();
    // The field has done its work: a new password is set in the dialog, typed twice.
    m_ui.passwordEdit->clear();
    m_ui.passwordEdit->setEnabled(false);
    m_ui.localFolderButton->setChecked(true);
    m_ui.localFolderButton->setEnabled(true);
    m_ui.stationSettingsButton->setEnabled(true);
}

void SettingsGate::changePassword()
{
    if (!m_unlocked)
        return;
    auto* dialog = new PasswordDialog(m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { m_password = dialog->password(); });
    dialog->open();
}
