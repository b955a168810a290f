// The dialog that sets a new settings password: typed twice, refused when the two differ.
#pragma once

#include <QByteArray>
#include <QDialog>

class QLabel;
class QLineEdit;

class PasswordDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PasswordDialog)

public:
    using base = QDialog;

    explicit PasswordDialog(QWidget* parent = nullptr);

    // The new password as GBK bytes, as the folder file stores it; set once accepted.
    QByteArray password() const { return m_password; }

    // Closes only when both fields hold the same password the folder file can store;
    // otherwise says why and stays open.
    void accept() override;

private:
    void refuse(const QString& reason);

    QLineEdit* m_first;
    QLineEdit* m_second;
    QLabel* m_problem;
    QByteArray m_password;
};
