// The main window's handlers: start-up and end, settings page, notice page, stations and Send.
#include "app/MainWindow.h"

#include "app/CertificateMenu.h"
#include "app/FolderFile.h"
#include "app/LineValues.h"
#include "app/NoticeList.h"
#include "app/NoticeText.h"
#include "app/RunCoordinator.h"
#include "app/RunLog.h"
#include "app/RunTexts.h"
#include "app/RunView.h"
#include "app/SettingsFiles.h"
#include "app/SettingsGate.h"
#include "app/StationChecklist.h"
#include "app/StationFile.h"
#include "app/StationSettings.h"
#include "app/WindowControls.h"
#include "controls/explorer/FileListView.h"
#include "controls/explorer/FolderTree.h"
#include "ftp/FtpClient.h"
#include "platform/application.h"
#include "platform/exception.h"
#include "platform/files.h"

#include "ui_MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QKeyEvent>
#include <QLayout>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

// The window's artwork lives in this static library's resources.
static void initResources()
{
    Q_INIT_RESOURCE(MainWindow);
}

namespace {

const QString& dirtCfgName = settingsfiles::folderFile;
const QString& addfCfgName = settingsfiles::stationFile;
const QString& stationsIniName = settingsfiles::stationSettings;
const QString& windowIniName = settingsfiles::windowSettings;
const QString noFolder = QStringLiteral("nil");

constexpr int stationRows = 9;
// The run log button sits on the log frame's top edge, 4 pixels in from its right.
constexpr int runLogButtonRight = 4;
constexpr int runLogButtonTop = 2;

QString settingsPath(const QString& name)
{
    return settingsfiles::path(name);
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
    // The window grows from its start size; the lists, the grid and the log grow with it.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint);
    move(130, 111);
    restoreWindowSize();
    placeComponents();
    wireHandlers();
    platform::guarded([this] { prepareWindow(); });
}

MainWindow::~MainWindow()
{
    // A run still going, or ended and not yet deleted, goes before the client it writes its
    // lines with.
    delete std::exchange(m_run, nullptr);
    delete m_endedRun.data();
    // The application reports focus changes while the window's widgets are torn down.
    disconnect(m_focusConnection);
    if (!std::exchange(m_folderFileSaved, true))
        platform::guarded([this] { writeFolderSettings(); });
    saveWindowSize();
}

void MainWindow::restoreWindowSize()
{
    const QSettings file(settingsPath(windowIniName), QSettings::IniFormat);
    QSize size = file.value(QStringLiteral("Window/size")).toSize();
    if (!size.isValid())
        return;
    // A size saved on a larger screen still fits this one.
    if (const QScreen* shown = screen())
        size = size.boundedTo(shown->availableGeometry().size());
    resize(size.expandedTo(minimumSize()));
    if (file.value(QStringLiteral("Window/maximized")).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::saveWindowSize() const
{
    QSettings file(settingsPath(windowIniName), QSettings::IniFormat);
    // A maximised window comes back maximised, over the size it had before.
    const bool maximized = isMaximized();
    file.setValue(QStringLiteral("Window/size"), maximized ? normalGeometry().size() : size());
    file.setValue(QStringLiteral("Window/maximized"), maximized);
}

void MainWindow::placeComponents()
{
    m_runView = new RunView(m_ui->runViewArea);
    m_runView->setObjectName(QStringLiteral("runView"));
    m_ui->runViewLayout->addWidget(m_runView);
    windowcontrols::setUpNoticeList(*m_ui->noticeList);
    windowcontrols::setUpFolderTree(*m_ui->folderTree);
    windowcontrols::setUpFooterLabels(*m_ui->homePageCaption, *m_ui->homePageLink,
                                      *m_ui->mailCaption, *m_ui->mailLink);
    m_notices = new NoticeList(m_ui->noticeList, this);
    m_stationChecklist = std::make_unique<StationChecklist>(m_ui->stationList);
    m_ui->logPane->setRunLogButton(m_ui->runLogButton);
    m_ui->logPaneLayout->insertWidget(1, m_ui->logPane->findBar());
    // Outside the layout: the button overlaps the frame's top edge and follows its right end.
    m_ui->runLogButton->raise();
    m_ui->logFrame->installEventFilter(this);
    m_gate = new SettingsGate(*m_ui, this);
    new CertificateMenu(m_ui->stationGrid, [] { return settingsPath(stationsIniName); });

    // Its defaults are the window's settings: port 21, active mode, no proxy, no reports.
    m_ftpClient = new FtpClient(this);
    m_ftpClient->setObjectName(QStringLiteral("ftpClient"));
}

void MainWindow::wireHandlers()
{
    // "37% — Zarvel" while a run goes, the usual title after it.
    const auto showRunTitle = [this] { setWindowTitle(m_runView->runTitle(m_usualTitle)); };
    connect(m_runView, &RunView::overallPercentChanged, this, showRunTitle);
    connect(m_runView, &RunView::runningChanged, this, showRunTitle);
    connect(m_ui->parallelStationsBox, &QSpinBox::valueChanged, this, [this](int count) {
        platform::guarded(
            [&] { StationSettings(settingsPath(stationsIniName)).saveParallelStations(count); });
    });
    m_ui->noticePage->installEventFilter(this);
    m_ui->stationsPage->installEventFilter(this);
    m_ui->enterSettingsButton->installEventFilter(this);

    // From any control, as the tab widget itself does for its own pages.
    const auto turnPage = [this](int step) {
        const int count = m_ui->pages->count();
        m_ui->pages->setCurrentIndex((m_ui->pages->currentIndex() + step + count) % count);
    };
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this), &QShortcut::activated, this,
            [turnPage] { turnPage(1); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this),
            &QShortcut::activated, this, [turnPage] { turnPage(-1); });
    connect(m_ui->noticeList, &QListWidget::itemSelectionChanged, this,
            guardedSlot(this, &MainWindow::showSelectionCount));

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

    m_ui->folderTree->OnChange = [this](QObject*, FolderNode*) {
        platform::guarded([this] { showChosenFolder(); });
    };
    m_ui->noticeList->OnClick = [this](QObject*) {
        platform::guarded([this] { previewClickedTextFile(); });
    };
    m_ui->noticeList->OnDblClick = [this](QObject*) {
        platform::guarded([this] { previewFocusedFile(); });
    };

    connect(m_ui->sendButton, &QPushButton::clicked, this,
            guardedSlot(this, &MainWindow::sendNotices));
    connect(m_ui->stopButton, &QPushButton::clicked, this,
            guardedSlot(this, &MainWindow::requestStop));
    connect(m_ui->exitButton, &QPushButton::clicked, this, &QWidget::close);
    // Values that would change the shape of a settings file are refused where they are typed.
    const auto refuse = [this](const QString& message) { m_ui->logPane->addLine(message, true); };
    connect(m_ui->stationGrid, &StationGrid::inputRefused, this, refuse);
    m_ui->remoteFolderEdit->setValidator(new OneLineValidator(
        m_ui->remoteFolderEdit, [refuse] { refuse(lineBreakRefusedMessage()); }));
    connect(m_ui->tickAllButton, &QPushButton::clicked, this, [this] {
        m_stationChecklist->toggleAll();
        platform::guarded([this] { saveTicks(); });
    });
    // Ticks are remembered as the clerk sets them.
    connect(m_ui->stationList, &QListWidget::itemChanged, this,
            guardedSlot(this, &MainWindow::saveTicks));

    m_focusConnection = connect(qApp, &QApplication::focusChanged, this,
                                [this](QWidget* previous, QWidget* current) {
                                    platform::guarded([&] { onFocusChanged(previous, current); });
                                });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->logFrame
        && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        const QRect frame = m_ui->logFrame->geometry();
        QPushButton* button = m_ui->runLogButton;
        button->move(frame.x() + frame.width() - runLogButtonRight - button->width(),
                     runLogButtonTop);
        return base::eventFilter(watched, event);
    }
    // Page show handlers run when the program shows a page, not when the window is restored.
    const bool pageShown = event->type() == QEvent::Show && !event->spontaneous()
        && (watched == m_ui->noticePage || watched == m_ui->stationsPage);
    if (pageShown) {
        // The grid is left (and saved) before the next page shows what it holds; each
        // handler's failure is reported on its own.
        if (m_ui->stationGrid->holds(focusWidget()))
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
        event->ignore();
        askToAbandonRun();
        return;
    }
    // Alt+X, the close box or a close while another window is active leave the focus
    // where it is: the grid's edits are saved first.
    if (m_ui->stationGrid->holds(focusWidget()))
        platform::guarded([this] { leaveStationGrid(); });
    if (!std::exchange(m_folderFileSaved, true))
        platform::guarded([this] { writeFolderSettings(); });
    event->accept();
}

void MainWindow::askToAbandonRun()
{
    if (m_closeAfterRun || (m_abandonQuestion && m_abandonQuestion->isVisible()))
        return;
    if (!m_abandonQuestion) {
        m_abandonQuestion = new QMessageBox(QMessageBox::Question, windowTitle(),
                                            tr("正在传送，确定要中断并退出吗？"),
                                            QMessageBox::Yes | QMessageBox::No, this);
        m_abandonQuestion->setObjectName(QStringLiteral("abandonRunQuestion"));
        m_abandonQuestion->setDefaultButton(QMessageBox::No);
        connect(m_abandonQuestion, &QMessageBox::finished, this, [this] {
            if (m_abandonQuestion->clickedButton() != m_abandonQuestion->button(QMessageBox::Yes))
                return;
            if (!m_run) {
                close();
                return;
            }
            // As two presses of Stop: the waits end, a file being sent is cut; the window
            // closes once the run has ended.
            m_closeAfterRun = true;
            m_run->abandon();
        });
    }
    // Opened, not executed: the run's waits go on under the question.
    m_abandonQuestion->open();
}

void MainWindow::onFocusChanged(QWidget* previous, QWidget* current)
{
    // Only a move to another control of this window leaves the grid; another window
    // taking the focus (an error box, another program) does not.
    const StationGrid* grid = m_ui->stationGrid;
    if (!grid->holds(previous) || grid->holds(current) || !current || current->window() != this)
        return;
    leaveStationGrid();
}

void MainWindow::prepareWindow()
{
    m_ui->stationGrid->hide();
    m_ui->folderTree->hide();
    m_ui->stationGrid->prepare();
    showSelectionCount();
    readFolderSettings();
    readStations(false);
    m_usualTitle = windowTitle();
    const QSignalBlocker quiet(m_ui->parallelStationsBox);
    m_ui->parallelStationsBox->setValue(
        StationSettings(settingsPath(stationsIniName)).runSettings().parallelStations);
}

void MainWindow::readFolderSettings()
{
    const QString path = settingsPath(dirtCfgName);
    std::optional<FolderSettings> settings;
    try {
        settings = FolderFile(path).load();
    } catch (const platform::InOutError& error) {
        // Never an open page with an empty password, never a save over the file.
        m_folderFileUnreadable = true;
        m_gate->lockOut(tr("无法读取 %1：%2；系统设置保持锁定").arg(path, error.readerText()));
        throw;
    }
    if (settings) {
        m_folderRead = *settings;
        m_gate->setPassword(settings->password);
        // A path that is not absolute names no folder of the tree ("." is written for none).
        if (!settings->localFolder.isEmpty() && QDir::isAbsolutePath(settings->localFolder))
            m_ui->folderTree->setDirectory(settings->localFolder);
        if (!settings->remoteFolder.isEmpty())
            m_ui->remoteFolderEdit->setText(settings->remoteFolder);
    }
    m_folderShown = shownFolderSettings();
}

void MainWindow::readStations(bool rebuild)
{
    const QList<Station> stations = StationFile(settingsPath(addfCfgName)).load();
    if (stations.isEmpty())
        return;
    QList<LoadedStation> options(stations.size());
    // A Stations.ini that cannot be read leaves every station at the defaults.
    platform::guarded(
        [&] { options = StationSettings(settingsPath(stationsIniName)).load(stations); });
    showStationList(stations, options);
    m_rowStation.clear();

    StationGrid* grid = m_ui->stationGrid;
    // More stations than rows: the grid grows so that every station stays editable.
    const int rows = std::max<int>(stationRows, static_cast<int>(stations.size()));
    if (rebuild)
        grid->setStations(QList<Station>(grid->stationRows()));
    if (rebuild || rows > grid->stationRows())
        grid->setStationRows(rows);
    grid->setStations(stations);
    QList<StationOptions> rowOptions;
    for (qsizetype index = 0; index < stations.size(); ++index) {
        rowOptions << options[index].options;
        m_rowStation << index;
    }
    grid->setOptions(rowOptions);
}

void MainWindow::showStationList(const QList<Station>& stations,
                                 const QList<LoadedStation>& options)
{
    m_stations = stations;
    m_stationOptions = options;
    QList<bool> ticks;
    for (const LoadedStation& station : options)
        ticks << station.ticked;
    m_stationChecklist->setStations(stations, ticks);
}

void MainWindow::saveStations()
{
    QList<Station> rows = m_ui->stationGrid->stations();
    const QList<Station> stations = applyGridRules(rows);
    // A "+" is replaced in the grid itself.
    m_ui->stationGrid->setStations(rows);
    // The grid's whole model: each row's options, and the tick of the station it showed.
    const QList<StationOptions> rowOptions = m_ui->stationGrid->options();
    const QList<bool> ticks = m_stationChecklist->ticks();
    QList<StationEntry> entries;
    QList<qsizetype> rowStation(rows.size(), -1);
    QList<LoadedStation> saved;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        if (isBlankRow(rows[row]))
            continue;
        const qsizetype before = m_rowStation.value(row, -1);
        rowStation[row] = entries.size();
        entries << StationEntry{rows[row], rowOptions[row],
                                before < 0 || ticks.value(before, true)};
        saved << LoadedStation{rowOptions[row], entries.last().ticked, StationMatch::Found};
    }
    // Nothing changed since the files were read: another window's later edits stay.
    const bool unchanged = stations == m_stations
        && std::equal(saved.begin(), saved.end(), m_stationOptions.begin(), m_stationOptions.end(),
                      [](const LoadedStation& now, const LoadedStation& before) {
                          return now.options == before.options && now.ticked == before.ticked;
                      });
    m_rowStation = rowStation;
    if (unchanged)
        return;
    StationFile(settingsPath(addfCfgName)).save(stations);
    StationSettings(settingsPath(stationsIniName)).save(entries);
    showStationList(stations, saved);
    QList<int> ticked;
    for (int index = 0; index < saved.size(); ++index)
        if (saved[index].ticked)
            ticked << index;
    m_stationChecklist->tickOnly(ticked);
}

void MainWindow::saveTicks()
{
    const QList<bool> ticks = m_stationChecklist->ticks();
    StationSettings(settingsPath(stationsIniName)).saveTicks(m_stations, ticks);
    for (qsizetype index = 0; index < m_stationOptions.size() && index < ticks.size(); ++index)
        m_stationOptions[index].ticked = ticks[index];
}

FolderSettings MainWindow::shownFolderSettings() const
{
    // The password changes only in the dialog of an unlocked settings page.
    return {.localFolder = m_ui->noticeFolderLabel->text(),
            .remoteFolder = m_ui->remoteFolderEdit->text(),
            .password = m_gate->password()};
}

void MainWindow::writeFolderSettings()
{
    if (m_folderFileUnreadable)
        return;
    const FolderFile file(settingsPath(dirtCfgName));
    // Re-read first: what another window saved meanwhile stays unless this one changed it.
    const std::optional<FolderSettings> now = file.load();
    const FolderSettings ours = shownFolderSettings();
    file.save(now ? keepOthersChanges(ours, m_folderShown, m_folderRead, *now) : ours);
}

void MainWindow::showStationsPage()
{
    readStations(true);
}

void MainWindow::leaveStationGrid()
{
    m_ui->stationGrid->commitEditor();
    saveStations();
}

void MainWindow::showChosenFolder()
{
    // A folder whose path holds a line break cannot be stored: the one before stays.
    if (!isOneLine(m_ui->folderTree->Directory())) {
        m_ui->logPane->addLine(lineBreakRefusedMessage(), true);
        const QString before = m_ui->noticeFolderLabel->text();
        if (!before.isEmpty() && isOneLine(before))
            m_ui->folderTree->setDirectory(before);
        return;
    }
    m_ui->noticeFolderLabel->setText(m_ui->folderTree->Directory());
    m_ui->settingsFolderLabel->setText(m_ui->folderTree->Directory());
    // Until a folder is chosen, the blank label says where that is done.
    m_ui->noFolderHint->setVisible(m_ui->noticeFolderLabel->text().isEmpty());
}

void MainWindow::showPasswordPrompt()
{
    showSettingsView(nullptr);
}

void MainWindow::showFolderTree()
{
    showSettingsView(m_ui->folderTree);
}

void MainWindow::showStationGrid()
{
    showSettingsView(m_ui->stationGrid);
}

void MainWindow::showSettingsView(QWidget* view)
{
    m_gate->showPrompt(view == nullptr);
    m_ui->folderTree->setVisible(view == m_ui->folderTree);
    m_ui->stationGrid->setVisible(view == m_ui->stationGrid);
    // Set like the grid, on an unlocked page only.
    m_ui->parallelStationsBox->setEnabled(m_ui->stationSettingsButton->isEnabled());
}

void MainWindow::showNoticePage()
{
    m_notices->setMask(m_ui->textFilesButton->isChecked() ? QStringLiteral("*.txt")
                                                          : QStringLiteral("*.*"));
    const QString folder = m_ui->folderTree->Directory();
    m_notices->showFolder(folder != noFolder ? folder : QString());
}

void MainWindow::showTextFilesOnly()
{
    m_notices->setMask(QStringLiteral("*.txt"));
    m_ui->noticeList->Refresh();
}

void MainWindow::showAllFiles()
{
    m_notices->setMask(QStringLiteral("*.*"));
    m_ui->noticeList->Refresh();
}

void MainWindow::previewClickedTextFile()
{
    if (const QString path = m_ui->noticeList->FileName(); isTextNotice(path))
        previewFile(path);
}

void MainWindow::previewFocusedFile()
{
    // A double click that left no file focused and selected has nothing to show.
    if (const QString path = m_ui->noticeList->FileName(); !path.isEmpty())
        previewFile(path);
}

NoticeSelection MainWindow::noticeSelection() const
{
    return m_notices->selection();
}

void MainWindow::showSelectionCount()
{
    m_ui->selectionCountLabel->setText(m_notices->countText());
}

bool MainWindow::reportEmptySelection()
{
    const QString message = m_notices->emptySelectionMessage();
    if (message.isEmpty())
        return false;
    m_ui->logPane->addLine(message, true);
    return true;
}

void MainWindow::previewFile(const QString& path)
{
    // A notice that cannot be shown leaves the preview empty; the run log is kept.
    m_ui->logPane->showPreview(QString());
    m_ui->logPane->showPreview(readNoticeText(path));
}

void MainWindow::sendNotices()
{
    // Runs never nest: Send is disabled while one is in progress.
    if (m_run || reportEmptySelection())
        return;
    LogPane* pane = m_ui->logPane;
    // Item i of the list is station i of the file, with the options found for it.
    m_runItems = m_stationChecklist->tickedItems();
    RunCoordinator::Setup setup{.remoteFolder = m_ui->remoteFolderEdit->text(),
                                .notices = noticeSelection(),
                                .settingsPath = settingsPath(stationsIniName)};
    for (int item : m_runItems) {
        setup.stations << m_stations[item];
        setup.options << m_stationOptions[item];
    }
    // A Stations.ini that cannot be read runs with the defaults.
    platform::guarded([&] { setup.settings = StationSettings(setup.settingsPath).runSettings(); });
    const QList<Station> stations = setup.stations;
    m_run = new RunCoordinator(
        *m_ftpClient, [pane](const QString& line, bool isError) { pane->addLine(line, isError); },
        RunLog::dailyPath(settingsfiles::logFolder(), QDate::currentDate()), std::move(setup),
        this);
    connect(m_run, &RunCoordinator::runFinished, this, guardedSlot(this, &MainWindow::endRun));
    // The run took its own copy of stations and folders: they stay as they are until its end.
    m_ui->sendButton->setEnabled(false);
    m_ui->stationGrid->setEnabled(false);
    m_ui->folderTree->setEnabled(false);

    if (m_ui->remoteFolderEdit->text().isEmpty())
        m_ui->remoteFolderEdit->setText(QStringLiteral("."));
    pane->clearLog();
    QStringList names;
    for (const Station& station : stations)
        names << station.name;
    m_runView->startRun(names, noticeSelection().names());
    m_ui->runViewArea->show();
    connect(m_run, &RunCoordinator::stationProgress, m_runView, &RunView::updateStation);
    connect(m_run, &RunCoordinator::stationFinished, m_runView, &RunView::finishStation);
    emit runStarted(m_run, stations);
    m_run->start();
}

void MainWindow::endRun()
{
    RunCoordinator* run = std::exchange(m_run, nullptr);
    run->deleteLater();
    m_endedRun = run;
    m_runView->endRun();
    m_ui->sendButton->setEnabled(true);
    m_ui->stationGrid->setEnabled(true);
    m_ui->folderTree->setEnabled(true);
    if (m_closeAfterRun) {
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    // The next Send retries exactly what did not arrive.
    if (!run->unfinishedStations().isEmpty()) {
        QList<int> unfinished;
        for (qsizetype station : run->unfinishedStations())
            unfinished << m_runItems[station];
        m_stationChecklist->tickOnly(unfinished);
        platform::guarded([this] { saveTicks(); });
        run->addLine(runtexts::retryLine());
    }
}

void MainWindow::requestStop()
{
    if (m_run)
        m_run->requestStop();
}
