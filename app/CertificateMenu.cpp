// Forgetting a station's remembered certificate from the station grid.
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
    const QString address = station.address.trimmed();
    // Pinned for the server at the row's address and port.
    const quint16 port = m_grid->options().value(row - 1).port;
    auto* menu = new QMenu(m_grid);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* forget = menu->addAction(tr("忘记证书(&F)..."));
    // Only a remembered certificate can be forgotten; the menu says why there is none.
    const bool remembered = !address.isEmpty()
        && !StationSettings(m_settingsPath()).certificate(address, port).isEmpty();
    forget->setEnabled(remembered);
    if (!remembered)
        menu->addAction(tr("该站点没有记住的证书"))->setEnabled(false);
    connect(forget, &QAction::triggered, this, [this, name = station.name, address, port] {
        platform::guarded([&] { confirmForgetting(name, address, port); });
    });
    menu->popup(globalPosition);
}

void CertificateMenu::confirmForgetting(const QString& name, const QString& address, quint16 port)
{
    const QByteArray print = StationSettings(m_settingsPath()).certificate(address, port);
    auto* box = new QMessageBox(QMessageBox::Question, tr("忘记证书"),
                                tr("忘记站点 %1（%2）记住的证书？\n\nSHA-256 %3\n\n"
                                   "下次连接时将记住该站点那时出示的证书。")
                                    .arg(name, address, QString::fromLatin1(print)),
                                QMessageBox::NoButton, m_grid->window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* forget = box->addButton(tr("忘记(&F)"), QMessageBox::AcceptRole);
    box->setDefaultButton(box->addButton(tr("取消"), QMessageBox::RejectRole));
    connect(box, &QMessageBox::buttonClicked, this,
            [this, forget, address, port](QAbstractButton* b) {
                if (b == forget)
                    platform::guarded([&] {
                        StationSettings(m_settingsPath()).forgetCertificate(address, port);
                    });
            });
    box->open();
}
