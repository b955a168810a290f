// The main window's handlers: start-up, settings files, settings page, notice page and send run.
#include "app/MainWindow.h"

#include "controls/explorer/MainWindowExplorer.h"
#include "controls/explorer/FolderTree.h"
#include "controls/explorer/FileListView.h"
#include "controls/labels/MainWindowLabels.h"
#include "ftp/FtpClient.h"
#include "net/BlockingSocket.h"
#include "platform/application.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/files.h"

#include "ui_MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidgetItem>
#include <QStringDecoder>
#include <QTableWidgetItem>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace unit1 {

std::array<QString, selectedFilesCapacity + 1> SelectedFiles;
qint32 SelectedCount = 0;
QString SourceDirectory;
quint8 StopRequested = 0;
QByteArray SettingsPassword;

void resetUnitState()
{
    SelectedFiles.fill(QString());
    SelectedCount = 0;
    SourceDirectory.clear();
    StopRequested = 0;
    SettingsPassword.clear();
}

} // namespace unit1

using namespace unit1;

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
constexpr int recordSize = 68;
constexpr int fieldSize = 17;
constexpr int fieldCharacters = 16;
constexpr int fieldCount = 4;
constexpr int fixedColumnWidth = 18;
constexpr int checkListItemHeight = 16;
constexpr int labelHeight = 13;
constexpr int labelMinimumWidth = 3;
constexpr int ftpPort = 21;
constexpr qint32 ftpVendor = 2411;
constexpr int typeLocal8 = 3;
constexpr int cancelIntervalMs = 20;
const QColor networkErrorColor(255, 0, 0);

const QString successLine = QStringLiteral("++++++++++++++++++++++++++      传送成功！");
const QString networkErrorLine = QStringLiteral("------------------------------ 网络错误，请查明原因！");
const QString stoppedLine =
    QStringLiteral("---------------------------------------------------       用户终止！");
const QString endLine = QStringLiteral("        --------======  传送完毕  ======--------");
// Bytes of text, far above any real notice; a bigger text would make the pane unusable.
constexpr qsizetype paneCapacity = 4 * 1024 * 1024;

struct HostRecord {
    std::array<QString, fieldCount> fields; // name, address, user, password
};

HostRecord decodeHostRecord(const QByteArray& bytes)
{
    HostRecord record;
    for (int field = 0; field < fieldCount; ++field) {
        const int offset = field * fieldSize;
        // A damaged length byte above 16 must not reach into the next field.
        const int length = std::min<int>(static_cast<unsigned char>(bytes[offset]), fieldCharacters);
        record.fields[field] = platform::fromCodePage(bytes.mid(offset + 1, length));
    }
    return record;
}

// Writes the fields into `buffer`; bytes after each value keep what the buffer held.
void encodeHostRecord(const HostRecord& record, QByteArray& buffer)
{
    for (int field = 0; field < fieldCount; ++field) {
        const QByteArray bytes = platform::toCodePage(record.fields[field]);
        const qsizetype length = platform::codePagePrefixLength(bytes, fieldCharacters);
        const int offset = field * fieldSize;
        buffer[offset] = static_cast<char>(length);
        std::copy_n(bytes.constData(), length, buffer.data() + offset + 1);
    }
}

QString settingsPath(const QString& name)
{
    return platform::programFolder() + name;
}

// Lower-cases the letters A to Z only, as names have always been compared.
QString lowerAscii(QString text)
{
    for (QChar& character : text)
        if (character >= u'A' && character <= u'Z')
            character = QChar(character.unicode() + (u'a' - u'A'));
    return text;
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
auto guardedSlot(TForm1* form, Handler handler)
{
    return [form, handler] { platform::guarded([form, handler] { (form->*handler)(); }); };
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : base(parent)
    , m_ui(std::make_unique<Ui::TForm1>())
{
    resetUnitState();
    initResources();
    m_ui->setupUi(this);
    // Fixed single border: minimise and close, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(568, 348);
    move(130, 111);

    QTableWidget* grid = m_ui->StringGrid1;
    grid->setCornerButtonEnabled(false);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setSectionsMovable(false);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setSectionsMovable(false);
    grid->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);

    placeComponents();
    wireHandlers();
    platform::guarded([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    // The application reports focus changes while the window's widgets are torn down.
    disconnect(m_focusConnection);
    if (!m_formDestroyDone) {
        m_formDestroyDone = true;
        platform::guarded([this] { FormDestroy(); });
    }
}

void TForm1::placeComponents()
{
    OvoExplorerView1 = createOvoExplorerView1(m_ui->TabSheet1);
    takePlace(std::exchange(m_ui->OvoExplorerView1, nullptr), OvoExplorerView1);
    OvoExplorerTree1 = createOvoExplorerTree1(m_ui->TabSheet3);
    takePlace(std::exchange(m_ui->OvoExplorerTree1, nullptr), OvoExplorerTree1);
    OvoLabel1 = labels::createOvoLabel1(this);
    takePlace(std::exchange(m_ui->OvoLabel1, nullptr), OvoLabel1);
    OvoCommandLabel1 = labels::createOvoCommandLabel1(this);
    takePlace(std::exchange(m_ui->OvoCommandLabel1, nullptr), OvoCommandLabel1);
    OvoLabel2 = labels::createOvoLabel2(this);
    takePlace(std::exchange(m_ui->OvoLabel2, nullptr), OvoLabel2);
    OvoCommandLabel2 = labels::createOvoCommandLabel2(this);
    takePlace(std::exchange(m_ui->OvoCommandLabel2, nullptr), OvoCommandLabel2);

    NMFTP1 = new TNMFTP(this);
    NMFTP1->setObjectName(QStringLiteral("NMFTP1"));
    NMFTP1->Port = ftpPort;
    NMFTP1->ReportLevel = 0;
    NMFTP1->Vendor = ftpVendor;
    NMFTP1->ParseList = false;
    NMFTP1->ProxyPort = 0;
    NMFTP1->Passive = false;
    NMFTP1->FirewallType = TFirewallType::FTUser;
    NMFTP1->FWAuthenticate = false;
    m_paneColor = m_ui->Memo1->palette().color(QPalette::Text);
}

void TForm1::wireHandlers()
{
    m_ui->TabSheet1->installEventFilter(this);
    m_ui->TabSheet2->installEventFilter(this);
    m_ui->RadioButton3->installEventFilter(this);

    auto whenSelected = [this](QRadioButton* button, void (TForm1::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
            if (checked)
                platform::guarded([this, handler] { (this->*handler)(); });
        });
    };
    whenSelected(m_ui->RadioButton4, &TForm1::RadioButton4Click);
    whenSelected(m_ui->RadioButton5, &TForm1::RadioButton5Click);
    whenSelected(m_ui->RadioButton1, &TForm1::RadioButton1Click);
    whenSelected(m_ui->RadioButton2, &TForm1::RadioButton2Click);

    OvoExplorerTree1->OnChange = [this](QObject*, TOvoTreeNode*) {
        platform::guarded([this] { OvoExplorerTree1Change(); });
    };
    OvoExplorerView1->OnClick = [this](QObject*) {
        platform::guarded([this] { OvoExplorerView1Click(); });
    };
    OvoExplorerView1->OnDblClick = [this](QObject*) {
        platform::guarded([this] { OvoExplorerView1DblClick(); });
    };
    OvoExplorerView1->OnMouseUp = [this](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        platform::guarded([this] { OvoExplorerView1MouseUp(); });
    };

    connect(m_ui->BitBtn1, &QPushButton::clicked, this, guardedSlot(this, &TForm1::BitBtn1Click));
    connect(m_ui->Button1, &QPushButton::clicked, this, guardedSlot(this, &TForm1::Button1Click));
    connect(m_ui->Button2, &QPushButton::clicked, this, guardedSlot(this, &TForm1::Button2Click));
    connect(m_ui->Button3, &QPushButton::clicked, this, guardedSlot(this, &TForm1::Button3Click));

    m_focusConnection = connect(qApp, &QApplication::focusChanged, this,
                                [this](QWidget* previous, QWidget* current) {
                                    platform::guarded([&] { onFocusChanged(previous, current); });
                                });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // Page show handlers run when the program shows a page, not when the window is restored.
    const bool pageShown = event->type() == QEvent::Show && !event->spontaneous()
                           && (watched == m_ui->TabSheet1 || watched == m_ui->TabSheet2);
    if (pageShown) {
        // The grid is left (and saved) before the next page shows what it holds; each
        // handler's failure is reported on its own.
        if (isInGrid(focusWidget()))
            platform::guarded([this] { StringGrid1Exit(); });
        platform::guarded([this, watched] {
            if (watched == m_ui->TabSheet1)
                TabSheet1Show();
            else
                TabSheet2Show();
        });
    } else if (event->type() == QEvent::FocusIn && watched == m_ui->RadioButton3) {
        platform::guarded([this] { RadioButton3Enter(); });
    }
    return base::eventFilter(watched, event);
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    // BitBtn1 is the window's default button while it is visible.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier && m_ui->BitBtn1->isVisible()
        && m_ui->BitBtn1->isEnabled()) {
        m_ui->BitBtn1->click();
        event->accept();
        return;
    }
    base::keyPressEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (m_sending) {
        // The run ends at its next check point, its current network wait cancelled;
        // the window closes once it has ended.
        event->ignore();
        if (m_closeAfterRun)
            return;
        StopRequested = 1;
        m_closeAfterRun = true;
        cancelNetworkWait();
        // The client starts some steps afresh (its goodbye after a failed login):
        // keep cancelling until the run has ended.
        auto* canceller = new QTimer(this);
        connect(canceller, &QTimer::timeout, this, [this, canceller] {
            if (m_sending)
                cancelNetworkWait();
            else
                canceller->deleteLater();
        });
        canceller->start(cancelIntervalMs);
        return;
    }
    // Alt+X, the close box or a close while another window is active leave the focus
    // where it is: the grid's edits are saved first.
    if (isInGrid(focusWidget()))
        platform::guarded([this] { StringGrid1Exit(); });
    if (!m_formDestroyDone) {
        m_formDestroyDone = true;
        platform::guarded([this] { FormDestroy(); });
    }
    event->accept();
}

bool TForm1::isInGrid(const QWidget* widget) const
{
    return widget && (widget == m_ui->StringGrid1 || m_ui->StringGrid1->isAncestorOf(widget));
}

void TForm1::onFocusChanged(QWidget* previous, QWidget* current)
{
    // Only a move to another control of this window leaves the grid; another window
    // taking the focus (an error box, another program) does not.
    if (!isInGrid(previous) || isInGrid(current) || !current || current->window() != this)
        return;
    StringGrid1Exit();
}

void TForm1::commitGridEditor()
{
    QWidget* editor = focusWidget();
    QTableWidget* grid = m_ui->StringGrid1;
    if (editor && editor != grid && grid->isAncestorOf(editor))
        QMetaObject::invokeMethod(grid, "commitData", Q_ARG(QWidget*, editor));
}

// ---- start-up and end ------------------------------------------------------------------

void TForm1::FormCreate()
{
    m_ui->StringGrid1->hide();
    OvoExplorerTree1->hide();
    m_ui->StringGrid1->verticalHeader()->setFixedWidth(fixedColumnWidth);
    for (int row = 1; row <= gridRowCount(); ++row)
        setGridCell(0, row, QString::number(row));
    setGridCell(1, 0, QStringLiteral("服务器名"));
    setGridCell(2, 0, QStringLiteral("IP地址"));
    setGridCell(3, 0, QStringLiteral("用户名"));
    setGridCell(4, 0, QStringLiteral("口令"));
    m_ui->Label8->hide();
    readDirtCfg();
    readAddfCfg(false);
}

void TForm1::FormDestroy()
{
    writeDirtCfg();
}

void TForm1::Button3Click()
{
    close();
}

// ---- settings files --------------------------------------------------------------------

void TForm1::readDirtCfg()
{
    const QString path = settingsPath(dirtCfgName);
    if (!platform::fileExists(path))
        return;
    const QList<QByteArray> lines = platform::readTextLines(path, 3);
    SettingsPassword = lines[2];
    // A path that is not absolute names no folder of the tree ("." is written for none).
    const QString folder = platform::fromCodePage(lines[0]);
    if (!folder.isEmpty() && QDir::isAbsolutePath(folder))
        OvoExplorerTree1->setDirectory(folder);
    if (!lines[1].isEmpty())
        m_ui->Edit1->setText(platform::fromCodePage(lines[1]));
}

void TForm1::readAddfCfg(bool rebuild)
{
    const QString path = settingsPath(addfCfgName);
    if (!platform::fileExists(path))
        return;
    const QList<QByteArray> records = platform::readRecords(path, recordSize);
    if (records.isEmpty())
        return;

    QListWidget* list = m_ui->CheckListBox2;
    // More stations than rows: the grid grows so that every station stays editable.
    const int rows = std::max<int>(stationRows, static_cast<int>(records.size()));
    if (rebuild) {
        list->clear();
        for (int row = 1; row <= gridRowCount(); ++row)
            for (int column = 1; column <= fieldCount; ++column)
                setGridCell(column, row, QString());
    }
    if (rebuild || rows > gridRowCount())
        setGridRowCount(rows);

    int row = 1;
    for (const QByteArray& bytes : records) {
        const HostRecord record = decodeHostRecord(bytes);
        for (int column = 1; column <= fieldCount; ++column)
            setGridCell(column, row, record.fields[column - 1]);
        auto* item = new QListWidgetItem(record.fields[0], list);
        item->setSizeHint(QSize(0, checkListItemHeight));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        ++row;
    }
}

void TForm1::saveStations()
{
    QByteArray content;
    // One buffer for the whole save, as the file has always been written.
    QByteArray buffer(recordSize, '\0');
    for (int row = 1; row <= gridRowCount(); ++row) {
        const QString address = gridCell(2, row);
        if (address.isEmpty() || address == QStringLiteral(" "))
            continue;
        HostRecord record;
        for (int column = 1; column <= fieldCount; ++column) {
            // Row 1 has no station above it: its "+" stays as typed.
            if (row > 1 && gridCell(column, row) == QStringLiteral("+"))
                setGridCell(column, row, gridCell(column, row - 1));
            record.fields[column - 1] = gridCell(column, row);
        }
        encodeHostRecord(record, buffer);
        content += buffer;
    }
    platform::saveFileAtomically(settingsPath(addfCfgName), content);
}

void TForm1::writeDirtCfg()
{
    const QString folder = m_ui->Label2->text();
    const QString remote = m_ui->Edit1->text();
    // The password changes only when the settings page was unlocked in this run.
    const QByteArray password =
        m_unlocked ? platform::toCodePage(m_ui->MaskEdit1->text()) : SettingsPassword;
    QByteArray content;
    content += platform::toCodePage(folder.isEmpty() ? QStringLiteral(".") : folder) + "\r\n";
    content += platform::toCodePage(remote.isEmpty() ? QStringLiteral(".") : remote) + "\r\n";
    content += password + "\r\n";
    platform::saveFileAtomically(settingsPath(dirtCfgName), content);
}

void TForm1::TabSheet2Show()
{
    readAddfCfg(true);
}

void TForm1::StringGrid1Exit()
{
    commitGridEditor();
    saveStations();
}

// ---- station grid ----------------------------------------------------------------------

int TForm1::gridRowCount() const
{
    return m_ui->StringGrid1->rowCount();
}

void TForm1::setGridRowCount(int rows)
{
    QTableWidget* grid = m_ui->StringGrid1;
    const int before = grid->rowCount();
    grid->setRowCount(rows);
    for (int row = before + 1; row <= rows; ++row)
        setGridCell(0, row, QString::number(row));
}

QString TForm1::gridCell(int column, int row) const
{
    const QTableWidgetItem* item = m_ui->StringGrid1->item(row - 1, column - 1);
    return item ? item->text() : QString();
}

void TForm1::setGridCell(int column, int row, const QString& text)
{
    QTableWidget* grid = m_ui->StringGrid1;
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

void TForm1::OvoExplorerTree1Change()
{
    setGrowingLabel(m_ui->Label2, OvoExplorerTree1->Directory());
    setGrowingLabel(m_ui->Label5, OvoExplorerTree1->Directory());
}

void TForm1::setGrowingLabel(QLabel* label, const QString& text)
{
    label->setText(text);
    label->resize(std::max(labelMinimumWidth, label->sizeHint().width()), labelHeight);
}

// ---- settings page ---------------------------------------------------------------------

void TForm1::RadioButton3Enter()
{
    showSettingsView(nullptr);
}

void TForm1::RadioButton1Click()
{
    showSettingsView(OvoExplorerTree1);
}

void TForm1::RadioButton2Click()
{
    showSettingsView(m_ui->StringGrid1);
}

void TForm1::showSettingsView(QWidget* view)
{
    const bool prompt = view == nullptr;
    m_ui->Label7->setVisible(prompt);
    m_ui->MaskEdit1->setVisible(prompt);
    OvoExplorerTree1->setVisible(view == OvoExplorerTree1);
    m_ui->StringGrid1->setVisible(view == m_ui->StringGrid1);
}

void TForm1::BitBtn1Click()
{
    if (platform::toCodePage(m_ui->MaskEdit1->text()) != SettingsPassword) {
        m_ui->Label8->show();
    } else {
        m_unlocked = true;
        m_ui->Label8->hide();
        m_ui->BitBtn1->hide();
        m_ui->RadioButton1->setChecked(true);
        m_ui->RadioButton1->setEnabled(true);
        m_ui->RadioButton2->setEnabled(true);
    }
    m_ui->MaskEdit1->selectAll();
}

// ---- notice page -----------------------------------------------------------------------

void TForm1::TabSheet1Show()
{
    OvoExplorerView1->setMask(m_ui->RadioButton4->isChecked() ? QStringLiteral("*.txt")
                                                              : QStringLiteral("*.*"));
    const QString folder = OvoExplorerTree1->Directory();
    if (folder != noFolder)
        OvoExplorerView1->setFileName(folder);
}

void TForm1::RadioButton4Click()
{
    OvoExplorerView1->setMask(QStringLiteral("*.txt"));
    OvoExplorerView1->Refresh();
}

void TForm1::RadioButton5Click()
{
    OvoExplorerView1->setMask(QStringLiteral("*.*"));
    OvoExplorerView1->Refresh();
}

void TForm1::OvoExplorerView1Click()
{
    const QString path = OvoExplorerView1->FileName();
    if (lowerAscii(extensionOf(path)) != QStringLiteral(".txt"))
        return;
    clearPane();
    loadIntoPane(path);
}

void TForm1::OvoExplorerView1DblClick()
{
    const QString path = OvoExplorerView1->FileName();
    // A double click that left no file focused and selected has nothing to show.
    if (path.isEmpty())
        return;
    clearPane();
    loadIntoPane(path);
}

void TForm1::OvoExplorerView1MouseUp()
{
    SelectedCount = 0;
    SourceDirectory = OvoExplorerView1->Directory();
    const QStringList items = OvoExplorerView1->Items();
    qsizetype selected = 0;
    for (qsizetype index = 0; index < items.size(); ++index) {
        if (!OvoExplorerView1->Selected(static_cast<int>(index)))
            continue;
        ++selected;
        if (SelectedCount < selectedFilesCapacity)
            SelectedFiles[++SelectedCount] = lowerAscii(items[index]);
    }
    if (selected > SelectedCount)
        platform::showErrorBox(QStringLiteral("%1 files are selected; only the first %2 were taken")
                                   .arg(selected)
                                   .arg(selectedFilesCapacity));
}

void TForm1::loadIntoPane(const QString& path)
{
    // The text ends at the first NUL byte, so one byte beyond the capacity tells all.
    QByteArray bytes;
    try {
        bytes = platform::readFileStart(path, paneCapacity + 1);
    } catch (const platform::EInOutError&) {
        throw platform::Exception(QStringLiteral("Cannot open file %1").arg(path));
    }
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    if (bytes.size() > paneCapacity)
        throw platform::Exception(QStringLiteral("Text exceeds memo capacity"));
    m_ui->Memo1->setPlainText(noticeText(bytes));
}

void TForm1::clearPane()
{
    m_ui->Memo1->clear();
    m_paneLines = 0;
}

void TForm1::addPaneLine(const QString& text)
{
    QTextCursor cursor(m_ui->Memo1->document());
    cursor.movePosition(QTextCursor::End);
    if (m_paneLines > 0 || !m_ui->Memo1->document()->isEmpty())
        cursor.insertBlock();
    // Each line keeps the colour it was written in.
    QTextCharFormat format;
    format.setForeground(m_paneColor);
    cursor.insertText(text, format);
    ++m_paneLines;
    m_ui->Memo1->ensureCursorVisible();
}

// ---- send run --------------------------------------------------------------------------

void TForm1::Button1Click()
{
    // Runs never nest: Send is disabled while one is in progress.
    if (m_sending)
        return;
    m_sending = true;
    m_ui->Button1->setEnabled(false);
    struct RunEnd {
        TForm1* form;
        ~RunEnd()
        {
            form->m_sending = false;
            form->m_ui->Button1->setEnabled(true);
            if (form->m_closeAfterRun)
                QTimer::singleShot(0, form, &QWidget::close);
        }
    } runEnd{this};

    if (NMFTP1->Connected)
        disconnectStation();
    if (m_ui->Edit1->text().isEmpty())
        m_ui->Edit1->setText(QStringLiteral("."));
    StopRequested = 0;
    clearPane();
    addPaneLine(QStringLiteral("★☆         您共选择了 %1 个文件         ☆★").arg(SelectedCount));
    if (SelectedCount > 0) {
        addPaneLine(QString());
        QListWidget* stations = m_ui->CheckListBox2;
        for (int item = 0; item < stations->count(); ++item) {
            if (StopRequested == 1) {
                addPaneLine(stoppedLine);
                break;
            }
            if (stations->item(item)->checkState() != Qt::Checked)
                continue;
            const int row = item + 1;
            NMFTP1->Host = platform::toCodePage(gridCell(2, row));
            NMFTP1->UserID = platform::toCodePage(gridCell(3, row));
            NMFTP1->Password = platform::toCodePage(gridCell(4, row));
            addPaneLine(QStringLiteral("开始向  %1  传送...").arg(gridCell(1, row)));
            try {
                sendToStation();
            } catch (const FTPException&) {
                reportNetworkError();
                continue;
            } catch (const ESockError&) {
                reportNetworkError();
                continue;
            }
            if (StopRequested == 1) {
                // The connection stays open; the next run's first step closes it.
                addPaneLine(stoppedLine);
                break;
            }
            addPaneLine(successLine);
            disconnectStation();
        }
    }
    addPaneLine(QString());
    addPaneLine(endLine);
}

void TForm1::sendToStation()
{
    NMFTP1->Vendor = ftpVendor;
    NMFTP1->Connect();
    NMFTP1->ChangeDir(platform::toCodePage(m_ui->Edit1->text()));
    NMFTP1->SetTransferType(typeLocal8);
    for (int k = 1; k <= SelectedCount && StopRequested != 1; ++k)
        NMFTP1->Upload(localFilePath(SelectedFiles[k]), platform::toCodePage(SelectedFiles[k]));
}

void TForm1::reportNetworkError()
{
    const QColor windowText = m_paneColor;
    m_paneColor = networkErrorColor;
    addPaneLine(networkErrorLine);
    m_paneColor = windowText;
    // The station already has its error line: a failing QUIT adds nothing to say.
    try {
        if (NMFTP1->Connected)
            disconnectStation();
    } catch (const FTPException&) {
    } catch (const ESockError&) {
    }
}

void TForm1::cancelNetworkWait()
{
    NMFTP1->Cancel();
    NMFTP1->Abort();
}

void TForm1::disconnectStation()
{
    // A closing window does not wait for the server's goodbye.
    if (m_closeAfterRun) {
        NMFTP1->TPowersock::Disconnect();
        return;
    }
    try {
        NMFTP1->Disconnect();
    } catch (const EAbortError&) {
        // Closing the window cancelled the goodbye: nothing left to report.
        if (!m_closeAfterRun)
            throw;
    }
}

QString TForm1::localFilePath(const QString& name) const
{
    const QDir folder(SourceDirectory);
    if (QFileInfo::exists(folder.filePath(name)))
        return folder.filePath(name);
    // Names are kept lower-cased: find the file whatever the case of its letters.
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries)
        if (lowerAscii(entry) == name)
            return folder.filePath(entry);
    return folder.filePath(name);
}

void TForm1::Button2Click()
{
    StopRequested = 1;
}
