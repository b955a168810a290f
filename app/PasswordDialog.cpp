// Asking for the new settings password twice.
#include "app/PasswordDialog.h"

#include "platform/codepage.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <optional>

namespace {

QLineEdit* passwordField(QWidget* parent, const char* name)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setEchoMode(QLineEdit::Password);
    return field;
}

// The folder file holds the password as one GBK line: no control characters in it.
bool storable(const QString& text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20; })
        && platform::toCodePageExactly(text).has_value();
}

} // namespace

PasswordDialog::PasswordDialog(QWidget* parent)
    : base(parent)
    , m_first(passwordField(this, "newPasswordEdit"))
    , m_second(passwordField(this, "repeatedPasswordEdit"))
    , m_problem(new QLabel(this))
{
    setWindowTitle(tr("修改系统设置口令"));
    m_problem->setObjectName(QStringLiteral("passwordProblemLabel"));
    m_problem->setStyleSheet(QStringLiteral("color: red"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PasswordDialog::reject);

    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(tr("新口令："), this), m_first);
    form->addRow(new QLabel(tr("再次输入新口令："), this), m_second);
    form->addRow(m_problem);
    form->addRow(buttons);
    m_first->setFocus();
}

void PasswordDialog::accept()
{
    const QString text = m_first->text();
    if (m_second->text() != text)
        return refuse(tr("两次输入的新口令不一致，口令未修改"));
    if (!storable(text))
        return refuse(tr("新口令含有无法保存的字符，口令未修改"));
    m_password = platform::toCodePage(text);
    base::accept();
}

void PasswordDialog::refuse(const QString& reason)
{
    m_problem->setText(reason);
    m_problem->show();
    // The dialog grows to show the reason whole.
    adjustSize();
    m_second->clear();
    m_second->setFocus();
}
