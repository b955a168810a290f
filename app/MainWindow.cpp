// The main window's handlers: start-up, settings files, settings page, notice page and send run.
#include "app/MainWindow.h"

#include "app/FolderFile.h"
#include "app/NoticeSelection.h"
#include "app/SendRun.h"
#include "app/StationFile.h"
#include "controls/explorer/MainWindowExplorer.h"
#include "controls/explorer/FolderTree.h"
#include "controls/explorer/FileListView.h"
#include "controls/labels/MainWindowLabels.h"
#include "ftp/FtpClient.h"
#include "platform/application.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/files.h"

#include "ui_MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidgetItem>
#include <QStringDecoder>
#include <QTableWidgetItem>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <utility>

// The window's artwork lives in this static library's resources.
static void initResources()
{
    Q_INIT_RESOURCE(MainWindow);
}

namespace {

const QString dirtCfgName = QStringLiteral("Dirt.cfg");
const QString addfCfgName = QStringLiteral("Addf.cfg");
const QString noFolder = QStringLiteral("nil");

constexpr int stationRows = 9;
constexpr int fixedColumnWidth = 18;
constexpr int checkListItemHeight = 16;
constexpr int labelHeight = 13;
constexpr int labelMinimumWidth = 3;
constexpr int ftpPort = 21;
constexpr int cancelIntervalMs = 20;
const QColor networkErrorColor(255, 0, 0);

// Bytes of text, far above any real notice; a bigger text would make the pane unusable.
constexpr qsizetype paneCapacity = 4 * 1024 * 1024;

QString settingsPath(const QString& name)
{
    return platform::programFolder() + name;
}

// The extension of a path: from the last "." after the last "/", dot included.
QString extensionOf(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < path.lastIndexOf(u'/'))
        return {};
    return path.mid(dot);
}

// A notice as text: UTF-8 when it is valid UTF-8, else GBK; CR, LF and CR LF end a line.
QString noticeText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = platform::fromCodePage(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

// Puts `widget` where `placeholder` was: same stacking, same place in the tab order.
void takePlace(QWidget* placeholder, QWidget* widget)
{
    QWidget::setTabOrder(placeholder, widget);
    widget->stackUnder(placeholder);
    delete placeholder;
}

template <typename Handler>
auto guardedSlot(MainWindow* form, Handler handler)
{
    return [form, handler] { platform::guarded([form, handler] { (form->*handler)(); }); };
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : base(parent)
    , m_ui(std::make_unique<Ui::MainWindow>())
{
    initResources();
    m_ui->setupUi(this);
    // Fixed single border: minimise and close, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(568, 348);
    move(130, 111);

    QTableWidget* grid = m_ui->stationGrid;
    grid->setCornerButtonEnabled(false);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setSectionsMovable(false);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setSectionsMovable(false);
    grid->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);

    placeComponents();
    wireHandlers();
    platform::guarded([this] { prepareWindow(); });
}

MainWindow::~MainWindow()
{
    // The application reports focus changes while the window's widgets are torn down.
    disconnect(m_focusConnection);
    if (!m_formDestroyDone) {
        m_formDestroyDone = true;
        platform::guarded([this] { saveOnClose(); });
    }
}

void MainWindow::placeComponents()
{
    noticeList = createNoticeList(m_ui->noticePage);
    takePlace(std::exchange(m_ui->noticeList, nullptr), noticeList);
    folderTree = createFolderTree(m_ui->settingsPage);
    takePlace(std::exchange(m_ui->folderTree, nullptr), folderTree);
    homePageCaption = labels::createHomePageCaption(this);
    takePlace(std::exchange(m_ui->homePageCaption, nullptr), homePageCaption);
    homePageLink = labels::createHomePageLink(this);
    takePlace(std::exchange(m_ui->homePageLink, nullptr), homePageLink);
    mailCaption = labels::createMailCaption(this);
    takePlace(std::exchange(m_ui->mailCaption, nullptr), mailCaption);
    mailLink = labels::createMailLink(this);
    takePlace(std::exchange(m_ui->mailLink, nullptr), mailLink);

    ftpClient = new FtpClient(this);
    ftpClient->setObjectName(QStringLiteral("ftpClient"));
    ftpClient->Port = ftpPort;
    ftpClient->ReportLevel = 0;
    ftpClient->ProxyPort = 0;
    ftpClient->Passive = false;
    ftpClient->FirewallType = FirewallStyle::FTUser;
    ftpClient->FWAuthenticate = false;
    m_paneColor = m_ui->logPane->palette().color(QPalette::Text);
}

void MainWindow::wireHandlers()
{
    m_ui->noticePage->installEventFilter(this);
    m_ui->stationsPage->installEventFilter(this);
    m_ui->enterSettingsButton->installEventFilter(this);

    auto whenSelected = [this](QRadioButton* button, void (MainWindow::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
            if (checked)
                platform::guarded([this, handler] { (this->*handler)(); });
        });
    };
    whenSelected(m_ui->textFilesButton, &MainWindow::showTextFilesOnly);
    whenSelected(m_ui->allFilesButton, &MainWindow::showAllFiles);
    whenSelected(m_ui->localFolderButton, &MainWindow::showFolderTree);
    whenSelected(m_ui->stationSettingsButton, &MainWindow::showStationGrid);

    folderTree->OnChange = [this](QObject*, FolderNode*) {
        platform::guarded([this] { showChosenFolder(); });
    };
    noticeList->OnClick = [this](QObject*) {
        platform::guarded([this] { previewClickedTextFile(); });
    };
    noticeList->OnDblClick = [this](QObject*) {
        platform::guarded([this] { previewFocusedFile(); });
    };
    noticeList->OnMouseUp = [this](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        platform::guarded([this] { takeSelection(); });
    };

    connect(m_ui->unlockButton, &QPushButton::clicked, this, guardedSlot(this, &MainWindow::unlockSettings));
    connect(m_ui->sendButton, &QPushButton::clicked, this, guardedSlot(this, &MainWindow::sendNotices));
    connect(m_ui->stopButton, &QPushButton::clicked, this, guardedSlot(this, &MainWindow::requestStop));
    connect(m_ui->exitButton, &QPushButton::clicked, this, guardedSlot(this, &MainWindow::exitProgram));

    m_focusConnection = connect(qApp, &QApplication::focusChanged, this,
                                [this](QWidget* previous, QWidget* current) {
                                    platform::guarded([&] { onFocusChanged(previous, current); });
                                });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Page show handlers run when the program shows a page, not when the window is restored.
    const bool pageShown = event->type() == QEvent::Show && !event->spontaneous()
                           && (watched == m_ui->noticePage || watched == m_ui->stationsPage);
    if (pageShown) {
        // The grid is left (and saved) before the next page shows what it holds; each
        // handler's failure is reported on its own.
        if (isInGrid(focusWidget()))
            platform::guarded([this] { leaveStationGrid(); });
        platform::guarded([this, watched] {
            if (watched == m_ui->noticePage)
                showNoticePage();
            else
                showStationsPage();
        });
    } else if (event->type() == QEvent::FocusIn && watched == m_ui->enterSettingsButton) {
        platform::guarded([this] { showPasswordPrompt(); });
    }
    return base::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // unlockButton is the window's default button while it is visible.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier && m_ui->unlockButton->isVisible()
        && m_ui->unlockButton->isEnabled()) {
        m_ui->unlockButton->click();
        event->accept();
        return;
    }
    base::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_run) {
        // The run ends at its next check point, its current network wait cancelled;
        // the window closes once it has ended.
        event->ignore();
        if (m_closeAfterRun)
            return;
        m_closeAfterRun = true;
        m_run->abandon();
        // The client starts some steps afresh (its goodbye after a failed login):
        // keep cancelling until the run has ended.
        auto* canceller = new QTimer(this);
        connect(canceller, &QTimer::timeout, this, [this, canceller] {
            if (m_run)
                m_run->abandon();
            else
                canceller->deleteLater();
        });
        canceller->start(cancelIntervalMs);
        return;
    }
    // Alt+X, the close box or a close while another window is active leave the focus
    // where it is: the grid's edits are saved first.
    if (isInGrid(focusWidget()))
        platform::guarded([this] { leaveStationGrid(); });
    if (!m_formDestroyDone) {
        m_formDestroyDone = true;
        platform::guarded([this] { saveOnClose(); });
    }
    event->accept();
}

bool MainWindow::isInGrid(const QWidget* widget) const
{
    return widget && (widget == m_ui->stationGrid || m_ui->stationGrid->isAncestorOf(widget));
}

void MainWindow::onFocusChanged(QWidget* previous, QWidget* current)
{
    // Only a move to another control of this window leaves the grid; another window
    // taking the focus (an error box, another program) does not.
    if (!isInGrid(previous) || isInGrid(current) || !current || current->window() != this)
        return;
    leaveStationGrid();
}

void MainWindow::commitGridEditor()
{
    QWidget* editor = focusWidget();
    QTableWidget* grid = m_ui->stationGrid;
    if (editor && editor != grid && grid->isAncestorOf(editor))
        QMetaObject::invokeMethod(grid, "commitData", Q_ARG(QWidget*, editor));
}

// ---- start-up and end ------------------------------------------------------------------

void MainWindow::prepareWindow()
{
    m_ui->stationGrid->hide();
    folderTree->hide();
    m_ui->stationGrid->verticalHeader()->setFixedWidth(fixedColumnWidth);
    for (int row = 1; row <= gridRowCount(); ++row)
        setGridCell(0, row, QString::number(row));
    setGridCell(1, 0, QStringLiteral("服务器名"));
    setGridCell(2, 0, QStringLiteral("IP地址"));
    setGridCell(3, 0, QStringLiteral("用户名"));
    setGridCell(4, 0, QStringLiteral("口令"));
    m_ui->wrongPasswordLabel->hide();
    readFolderSettings();
    readStations(false);
}

void MainWindow::saveOnClose()
{
    writeFolderSettings();
}

void MainWindow::exitProgram()
{
    close();
}

// ---- settings files --------------------------------------------------------------------

void MainWindow::readFolderSettings()
{
    const std::optional<FolderSettings> settings = FolderFile(settingsPath(dirtCfgName)).load();
    if (!settings)
        return;
    m_settingsPassword = settings->password;
    // A path that is not absolute names no folder of the tree ("." is written for none).
    if (!settings->localFolder.isEmpty() && QDir::isAbsolutePath(settings->localFolder))
        folderTree->setDirectory(settings->localFolder);
    if (!settings->remoteFolder.isEmpty())
        m_ui->remoteFolderEdit->setText(settings->remoteFolder);
}

void MainWindow::readStations(bool rebuild)
{
    const QList<Station> stations = StationFile(settingsPath(addfCfgName)).load();
    if (stations.isEmpty())
        return;

    QListWidget* list = m_ui->stationList;
    // More stations than rows: the grid grows so that every station stays editable.
    const int rows = std::max<int>(stationRows, static_cast<int>(stations.size()));
    if (rebuild) {
        list->clear();
        for (int row = 1; row <= gridRowCount(); ++row)
            setGridStation(row, Station());
    }
    if (rebuild || rows > gridRowCount())
        setGridRowCount(rows);

    int row = 1;
    for (const Station& station : stations) {
        setGridStation(row, station);
        auto* item = new QListWidgetItem(station.name, list);
        item->setSizeHint(QSize(0, checkListItemHeight));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        ++row;
    }
}

void MainWindow::saveStations()
{
    QList<Station> rows;
    for (int row = 1; row <= gridRowCount(); ++row)
        rows << gridStation(row);
    const QList<Station> stations = applyGridRules(rows);
    // A "+" is replaced in the grid itself.
    for (int row = 1; row <= gridRowCount(); ++row)
        setGridStation(row, rows[row - 1]);
    StationFile(settingsPath(addfCfgName)).save(stations);
}

void MainWindow::writeFolderSettings()
{
    // The password changes only when the settings page was unlocked in this run.
    const QByteArray password =
        m_unlocked ? platform::toCodePage(m_ui->passwordEdit->text()) : m_settingsPassword;
    FolderFile(settingsPath(dirtCfgName))
        .save({.localFolder = m_ui->noticeFolderLabel->text(),
               .remoteFolder = m_ui->remoteFolderEdit->text(),
               .password = password});
}

void MainWindow::showStationsPage()
{
    readStations(true);
}

void MainWindow::leaveStationGrid()
{
    commitGridEditor();
    saveStations();
}

// ---- station grid ----------------------------------------------------------------------

int MainWindow::gridRowCount() const
{
    return m_ui->stationGrid->rowCount();
}

void MainWindow::setGridRowCount(int rows)
{
    QTableWidget* grid = m_ui->stationGrid;
    const int before = grid->rowCount();
    grid->setRowCount(rows);
    for (int row = before + 1; row <= rows; ++row)
        setGridCell(0, row, QString::number(row));
}

QString MainWindow::gridCell(int column, int row) const
{
    const QTableWidgetItem* item = m_ui->stationGrid->item(row - 1, column - 1);
    return item ? item->text() : QString();
}

Station MainWindow::gridStation(int row) const
{
    Station station;
    for (int column = 1; column <= int(stationFields.size()); ++column)
        station.*stationFields[column - 1] = gridCell(column, row);
    return station;
}

void MainWindow::setGridStation(int row, const Station& station)
{
    for (int column = 1; column <= int(stationFields.size()); ++column)
        if (gridCell(column, row) != station.*stationFields[column - 1])
            setGridCell(column, row, station.*stationFields[column - 1]);
}

void MainWindow::setGridCell(int column, int row, const QString& text)
{
    QTableWidget* grid = m_ui->stationGrid;
    if (row == 0 && column == 0)
        return;
    if (row == 0) {
        grid->setHorizontalHeaderItem(column - 1, new QTableWidgetItem(text));
    } else if (column == 0) {
        grid->setVerticalHeaderItem(row - 1, new QTableWidgetItem(text));
    } else if (QTableWidgetItem* item = grid->item(row - 1, column - 1)) {
        item->setText(text);
    } else {
        grid->setItem(row - 1, column - 1, new QTableWidgetItem(text));
    }
}

// ---- folder tree ----------------------------------------------------------------------

void MainWindow::showChosenFolder()
{
    setGrowingLabel(m_ui->noticeFolderLabel, folderTree->Directory());
    setGrowingLabel(m_ui->settingsFolderLabel, folderTree->Directory());
}

void MainWindow::setGrowingLabel(QLabel* label, const QString& text)
{
    label->setText(text);
    label->resize(std::max(labelMinimumWidth, label->sizeHint().width()), labelHeight);
}

// ---- settings page ---------------------------------------------------------------------

void MainWindow::showPasswordPrompt()
{
    showSettingsView(nullptr);
}

void MainWindow::showFolderTree()
{
    showSettingsView(folderTree);
}

void MainWindow::showStationGrid()
{
    showSettingsView(m_ui->stationGrid);
}

void MainWindow::showSettingsView(QWidget* view)
{
    const bool prompt = view == nullptr;
    m_ui->passwordPrompt->setVisible(prompt);
    m_ui->passwordEdit->setVisible(prompt);
    folderTree->setVisible(view == folderTree);
    m_ui->stationGrid->setVisible(view == m_ui->stationGrid);
}

void MainWindow::unlockSettings()
{
    if (platform::toCodePage(m_ui->passwordEdit->text()) != m_settingsPassword) {
        m_ui->wrongPasswordLabel->show();
    } else {
        m_unlocked = true;
        m_ui->wrongPasswordLabel->hide();
        m_ui->unlockButton->hide();
        m_ui->localFolderButton->setChecked(true);
        m_ui->localFolderButton->setEnabled(true);
        m_ui->stationSettingsButton->setEnabled(true);
    }
    m_ui->passwordEdit->selectAll();
}

// ---- notice page -----------------------------------------------------------------------

void MainWindow::showNoticePage()
{
    noticeList->setMask(m_ui->textFilesButton->isChecked() ? QStringLiteral("*.txt")
                                                              : QStringLiteral("*.*"));
    const QString folder = folderTree->Directory();
    if (folder != noFolder)
        noticeList->setFileName(folder);
}

void MainWindow::showTextFilesOnly()
{
    noticeList->setMask(QStringLiteral("*.txt"));
    noticeList->Refresh();
}

void MainWindow::showAllFiles()
{
    noticeList->setMask(QStringLiteral("*.*"));
    noticeList->Refresh();
}

void MainWindow::previewClickedTextFile()
{
    const QString path = noticeList->FileName();
    if (lowerAscii(extensionOf(path)) != QStringLiteral(".txt"))
        return;
    clearPane();
    loadIntoPane(path);
}

void MainWindow::previewFocusedFile()
{
    const QString path = noticeList->FileName();
    // A double click that left no file focused and selected has nothing to show.
    if (path.isEmpty())
        return;
    clearPane();
    loadIntoPane(path);
}

void MainWindow::takeSelection()
{
    m_selection = NoticeSelection(noticeList->Directory());
    const QStringList items = noticeList->Items();
    qsizetype selected = 0;
    for (qsizetype index = 0; index < items.size(); ++index) {
        if (noticeList->Selected(static_cast<int>(index))) {
            ++selected;
            m_selection.add(items[index]);
        }
    }
    if (selected > m_selection.names().size())
        platform::showErrorBox(QStringLiteral("%1 files are selected; only the first %2 were taken")
                                   .arg(selected)
                                   .arg(NoticeSelection::capacity));
}

void MainWindow::loadIntoPane(const QString& path)
{
    // The text ends at the first NUL byte, so one byte beyond the capacity tells all.
    QByteArray bytes;
    try {
        bytes = platform::readFileStart(path, paneCapacity + 1);
    } catch (const platform::InOutError&) {
        throw platform::Exception(QStringLiteral("Cannot open file %1").arg(path));
    }
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    if (bytes.size() > paneCapacity)
        throw platform::Exception(QStringLiteral("Text exceeds memo capacity"));
    m_ui->logPane->setPlainText(noticeText(bytes));
}

void MainWindow::clearPane()
{
    m_ui->logPane->clear();
    m_paneLines = 0;
}

void MainWindow::addPaneLine(const QString& text, bool isError)
{
    QTextCursor cursor(m_ui->logPane->document());
    cursor.movePosition(QTextCursor::End);
    if (m_paneLines > 0 || !m_ui->logPane->document()->isEmpty())
        cursor.insertBlock();
    // Each line keeps the colour it was written in.
    QTextCharFormat format;
    format.setForeground(isError ? networkErrorColor : m_paneColor);
    cursor.insertText(text, format);
    ++m_paneLines;
    m_ui->logPane->ensureCursorVisible();
}

// ---- send run --------------------------------------------------------------------------

void MainWindow::sendNotices()
{
    // Runs never nest: Send is disabled while one is in progress.
    if (m_run)
        return;
    SendRun run(*ftpClient, [this](const QString& line, bool isError) { addPaneLine(line, isError); },
                tickedStations(), m_ui->remoteFolderEdit->text(), m_selection);
    m_run = &run;
    m_ui->sendButton->setEnabled(false);
    struct RunEnd {
        MainWindow* form;
        ~RunEnd()
        {
            form->m_run = nullptr;
            form->m_ui->sendButton->setEnabled(true);
            if (form->m_closeAfterRun)
                QTimer::singleShot(0, form, &QWidget::close);
        }
    } runEnd{this};

    run.closeLeftConnection();
    if (m_ui->remoteFolderEdit->text().isEmpty())
        m_ui->remoteFolderEdit->setText(QStringLiteral("."));
    clearPane();
    run.run();
}

QList<Station> MainWindow::tickedStations() const
{
    // Item i of the list is the station of grid row i + 1.
    QList<Station> stations;
    const QListWidget* list = m_ui->stationList;
    for (int item = 0; item < list->count(); ++item)
        if (list->item(item)->checkState() == Qt::Checked)
            stations << gridStation(item + 1);
    return stations;
}

void MainWindow::requestStop()
{
    if (m_run)
        m_run->requestStop();
}
