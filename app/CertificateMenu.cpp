// Forgetting a station's remembered certificate or host key from the station grid.
#include "app/CertificateMenu.h"

#include "app/StationGrid.h"
#include "app/StationSettings.h"
#include "platform/application.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

CertificateMenu::CertificateMenu(StationGrid* grid, std::function<QString()> settingsPath)
    : QObject(grid)
    , m_grid(grid)
    , m_settingsPath(std::move(settingsPath))
{
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        platform::guarded([this, position] {
            showMenu(m_grid->stationRowAt(position), m_grid->viewport()->mapToGlobal(position));
        });
    });
    // The keyboard's way to the menu: the current row's.
    m_grid->installEventFilter(this);
    // A cell being edited has its editor's own menu: the row number always has this one.
    QHeaderView* numbers = m_grid->verticalHeader();
    numbers->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(numbers, &QWidget::customContextMenuRequested, this,
            [this, numbers](const QPoint& position) {
                platform::guarded([this, numbers, position] {
                    showMenu(numbers->logicalIndexAt(position) + 1, numbers->mapToGlobal(position));
                });
            });
}

bool CertificateMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_grid || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool menuKey = key->key() == Qt::Key_Menu
        || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
    if (!menuKey || m_grid->currentRow() < 0)
        return QObject::eventFilter(watched, event);
    const QRect cell = m_grid->visualRect(m_grid->currentIndex());
    platform::guarded([this, cell] {
        showMenu(m_grid->currentRow() + 1, m_grid->viewport()->mapToGlobal(cell.center()));
    });
    return true;
}

void CertificateMenu::showMenu(int row, const QPoint& globalPosition)
{
    if (row < 1 || row > m_grid->stationRows())
        return;
    const Station station = m_grid->station(row);
    // Pinned for the server at the row's address and port.
    const StationOptions options = m_grid->options().value(row - 1);
    const Pin pin{.hostKey = options.protocol == Protocol::Sftp,
                  .name = station.name,
                  .address = station.address.trimmed(),
                  .port = options.port};
    auto* menu = new QMenu(m_grid);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* forget =
        menu->addAction(pin.hostKey ? tr("忘记主机密钥(&F)...") : tr("忘记证书(&F)..."));
    // Only what is remembered can be forgotten; the menu says why there is nothing.
    const bool remembered = !pin.address.isEmpty() && !fingerprint(pin).isEmpty();
    forget->setEnabled(remembered);
    if (!remembered)
        menu->addAction(pin.hostKey ? tr("该站点没有记住的主机密钥") : tr("该站点没有记住的证书"))
            ->setEnabled(false);
    connect(forget, &QAction::triggered, this,
            [this, pin] { platform::guarded([&] { confirmForgetting(pin); }); });
    menu->popup(globalPosition);
}

QByteArray CertificateMenu::fingerprint(const Pin& pin) const
{
    const StationSettings settings(m_settingsPath());
    return pin.hostKey ? settings.hostKey(pin.address, pin.port)
                       : settings.certificate(pin.address, pin.port);
}

void CertificateMenu::confirmForgetting(const Pin& pin)
{
    // A host key's fingerprint names its hash itself ("SHA256:..."), as ssh shows it.
    const QString print = QString::fromLatin1(fingerprint(pin));
    const QString question = pin.hostKey ? tr("忘记站点 %1（%2）记住的主机密钥？\n\n%3\n\n"
                                              "下次连接时将记住该站点那时出示的主机密钥。")
                                         : tr("忘记站点 %1（%2）记住的证书？\n\nSHA-256 %3\n\n"
                                              "下次连接时将记住该站点那时出示的证书。");
    auto* box = new QMessageBox(
        QMessageBox::Question, pin.hostKey ? tr("忘记主机密钥") : tr("忘记证书"),
        question.arg(pin.name, pin.address, print), QMessageBox::NoButton, m_grid->window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* forget = box->addButton(tr("忘记(&F)"), QMessageBox::AcceptRole);
    box->setDefaultButton(box->addButton(tr("取消"), QMessageBox::RejectRole));
    connect(box, &QMessageBox::buttonClicked, this, [this, forget, pin](QAbstractButton* button) {
        if (button != forget)
            return;
        platform::guarded([&] {
            const StationSettings settings(m_settingsPath());
            if (pin.hostKey)
                settings.forgetHostKey(pin.address, pin.port);
            else
                settings.forgetCertificate(pin.address, pin.port);
        });
    });
    box->open();
}
