// Cells of the station grid and the stations they hold.
#include "app/StationGrid.h"

#include "app/LineValues.h"
#include "platform/codepage.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidgetItem>
#include <QUrl>
#include <QValidator>

#include <arpa/inet.h>

#include <algorithm>
#include <functional>

namespace {

constexpr int numberColumnWidth = 18;
// Grid columns as the row numbers count them (1 is the station's name).
constexpr int addressColumn = 2;
constexpr int passwordColumn = 4;
constexpr int portColumn = 5;
constexpr int modeColumn = 6;
constexpr int tempNameColumn = 7;
constexpr int tlsColumn = 8;
constexpr int protocolColumn = 9;
constexpr int encodingColumn = 10;
// Shown in an SFTP row's cells that only FTP uses; the cells keep their choices.
const QString notApplying = QStringLiteral("—");

// The mode cells' texts, in the order of TransferMode, in the reader's language.
QStringList modeTexts()
{
    return {QStringLiteral("auto"), QCoreApplication::translate("StationGrid", "主动"),
            QCoreApplication::translate("StationGrid", "被动")};
}

// The TLS cells' texts, in the order of TlsMode; "auto" as the mode column has it.
QStringList tlsTexts()
{
    return {QStringLiteral("auto"), QCoreApplication::translate("StationGrid", "必须"),
            QCoreApplication::translate("StationGrid", "关闭"),
            QCoreApplication::translate("StationGrid", "隐式")};
}

// The protocol cells' texts, in the order of Protocol.
QStringList protocolTexts()
{
    return {QStringLiteral("FTP"), QStringLiteral("SFTP")};
}

// The encoding cells' texts, in the order of encodingChoices.
constexpr EncodingChoice encodingChoices[] = {EncodingChoice::Auto, EncodingChoice::Utf8,
                                              EncodingChoice::Gbk};

QStringList encodingTexts()
{
    return {QCoreApplication::translate("StationGrid", "自动"), QStringLiteral("UTF-8"),
            QStringLiteral("GBK")};
}

QString encodingText(EncodingChoice encoding)
{
    const auto* at = std::find(std::begin(encodingChoices), std::end(encodingChoices), encoding);
    return encodingTexts().value(int(at - std::begin(encodingChoices)));
}

// The texts a cell of `column` (from 0) is chosen from; empty for a cell that is typed.
QStringList choicesOf(int column)
{
    switch (column + 1) {
    case modeColumn: return modeTexts();
    case tlsColumn: return tlsTexts();
    case protocolColumn: return protocolTexts();
    case encodingColumn: return encodingTexts();
    default: return {};
    }
}

// The place of `text` among the choices of `column` (from 0); 0, the default, for any other.
int choiceIndex(int column, const QString& text)
{
    return std::max(0, int(choicesOf(column).indexOf(text.trimmed())));
}

// Cells of what only FTP uses: an SFTP row shows them as not applying.
bool isFtpOnly(int column)
{
    return column == modeColumn || column == tlsColumn || column == encodingColumn;
}

bool isSftpRow(const QAbstractItemModel* model, int row)
{
    return choiceIndex(protocolColumn - 1, model->index(row, protocolColumn - 1).data().toString())
        == static_cast<int>(Protocol::Sftp);
}

QString gridText(const char* text)
{
    return QCoreApplication::translate("StationGrid", text);
}

// What cell `index` shows of its text: a password as one dot per character, a cell of an
// SFTP row that only FTP uses as not applying.
QString shownCellText(const QModelIndex& index)
{
    const QString text = index.data().toString();
    if (index.column() + 1 == passwordColumn)
        return QString(text.size(), QChar(0x25CF));
    if (isFtpOnly(index.column() + 1) && isSftpRow(index.model(), index.row()))
        return notApplying;
    return text;
}

// An IPv4 or IPv6 address, or a host name (letters, digits and hyphens between dots; a
// name in another script as its ASCII form). "+" takes the address above, a blank leaves
// the row out: both are the grid's own rules.
bool isStationAddress(const QString& text)
{
    const QString address = text.trimmed();
    const QByteArray numeric = address.toLatin1();
    unsigned char bytes[16];
    if (address.isEmpty() || address == QStringLiteral("+")
        || ::inet_pton(AF_INET, numeric.constData(), bytes) == 1
        || ::inet_pton(AF_INET6, numeric.constData(), bytes) == 1)
        return true;
    static const QRegularExpression label(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
    QString name = QString::fromLatin1(QUrl::toAce(address));
    if (name.endsWith(u'.'))
        name.chop(1);
    const QStringList labels = name.split(u'.');
    if (name.isEmpty() || name.size() > 253)
        return false;
    // Four numbers that inet_pton refused are a mistyped IPv4 address, not a name.
    static const QRegularExpression dottedQuad(QStringLiteral("^[0-9]+(\\.[0-9]+){3}$"));
    return std::all_of(labels.begin(), labels.end(),
                       [](const QString& part) { return label.match(part).hasMatch(); })
        && !dottedQuad.match(name).hasMatch();
}

// A port of digits, 1 to 65535; anything else is refused as it is typed, with a message.
class PortValidator : public QValidator {
public:
    PortValidator(QObject* parent, std::function<void()> refused)
        : QValidator(parent)
        , m_refused(std::move(refused))
    {
    }

    State validate(QString& input, int&) const override
    {
        if (input.isEmpty())
            return Intermediate;
        bool number = false;
        const uint port = input.toUInt(&number);
        if (number && port >= 1 && port <= 65535 && !input.startsWith(u'0'))
            return Acceptable;
        m_refused();
        return Invalid;
    }

private:
    std::function<void()> m_refused;
};

// Keeps a cell within the bytes its field holds in GBK: of a text typed, pasted or committed by
// an input method, the characters that would pass the limit are dropped, at the cursor, so
// that the longest part that fits stays; `cut` says so.
class FieldBytesValidator : public QValidator {
public:
    FieldBytesValidator(QObject* parent, std::function<void()> cut)
        : QValidator(parent)
        , m_cut(std::move(cut))
    {
    }

    State validate(QString& input, int& position) const override
    {
        const bool tooLong = platform::toCodePage(input).size() > StationFile::fieldBytes;
        if (tooLong)
            m_cut();
        while (platform::toCodePage(input).size() > StationFile::fieldBytes) {
            if (position <= 0)
                return Invalid;
            // A character outside the basic plane is one pair of UTF-16 units.
            const int width = position >= 2 && input.at(position - 1).isLowSurrogate()
                    && input.at(position - 2).isHighSurrogate()
                ? 2
                : 1;
            input.remove(position - width, width);
            position -= width;
        }
        return Acceptable;
    }

private:
    std::function<void()> m_cut;
};

// The list a choice cell is edited with. "+" takes the choice of the cell above, as "+"
// takes the text above in the station's own cells.
class ChoiceList : public QComboBox {
public:
    ChoiceList(QWidget* parent, const QModelIndex& index)
        : QComboBox(parent)
        , m_index(index)
    {
        addItems(choicesOf(index.column()));
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->text() != u"+" || !m_index.isValid()) {
            QComboBox::keyPressEvent(event);
            return;
        }
        if (m_index.row() > 0) {
            const QModelIndex above = m_index.model()->index(m_index.row() - 1, m_index.column());
            setCurrentIndex(choiceIndex(m_index.column(), above.data().toString()));
            emit activated(currentIndex());
        }
        event->accept();
    }

private:
    QPersistentModelIndex m_index;
};

class StationCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        if (!choicesOf(index.column()).isEmpty()) {
            auto* list = new ChoiceList(parent, index);
            // A choice counts at once: the port shows the default it brings while the list
            // is still open.
            auto* self = const_cast<StationCellDelegate*>(this);
            connect(list, &QComboBox::activated, self,
                    [self, list] { emit self->commitData(list); });
            return list;
        }
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        auto* grid = static_cast<StationGrid*>(this->parent());
        const auto refuse = [grid](const char* message) {
            return [grid, message] { emit grid->inputRefused(gridText(message)); };
        };
        if (index.column() == portColumn - 1) {
            if (auto* line = qobject_cast<QLineEdit*>(editor))
                line->setValidator(new PortValidator(
                    line,
                    refuse(QT_TRANSLATE_NOOP("StationGrid", "端口须是 1 到 65535 之间的数"))));
            return editor;
        }
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            // A line break or NUL would cut the command that carries a user name or password.
            line->setValidator(new OneLineValidator(
                line, [grid] { emit grid->inputRefused(lineBreakRefusedMessage()); },
                new FieldBytesValidator(
                    line,
                    refuse(QT_TRANSLATE_NOOP("StationGrid",
                                             "每格最多 16 字节（8 个汉字）：多出的部分已截去")))));
        }
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* list = qobject_cast<QComboBox*>(editor))
            list->setCurrentIndex(std::max(
                0, int(choicesOf(index.column()).indexOf(index.data().toString().trimmed()))));
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override
    {
        if (auto* list = qobject_cast<QComboBox*>(editor)) {
            static_cast<StationGrid*>(parent())->setChoice(index.column() + 1, index.row() + 1,
                                                           list->currentText());
            return;
        }
        // The cell keeps the address it had.
        const auto* line = qobject_cast<QLineEdit*>(editor);
        if (line && index.column() == addressColumn - 1 && !isStationAddress(line->text())) {
            emit static_cast<StationGrid*>(parent())->inputRefused(
                gridText(
                    QT_TRANSLATE_NOOP("StationGrid", "“%1”既不是 IP 地址，也不是主机名，未被接受"))
                    .arg(line->text()));
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = shownCellText(index);
        if (isFtpOnly(index.column() + 1) && isSftpRow(index.model(), index.row()))
            option->palette.setBrush(QPalette::Text,
                                     option->palette.brush(QPalette::Disabled, QPalette::Text));
    }
};

} // namespace

StationGrid::StationGrid(QWidget* parent)
    : base(parent)
{
    setCornerButtonEnabled(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionsMovable(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionsMovable(false);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    setItemDelegate(new StationCellDelegate(this));
    createFrozenColumn();
    // However the protocol cell changes, the cells only FTP uses follow it.
    connect(this, &QTableWidget::itemChanged, this, [this](const QTableWidgetItem* changed) {
        if (changed->column() == protocolColumn - 1)
            showProtocol(changed->row() + 1);
    });
}

void StationGrid::createFrozenColumn()
{
    // Shares the grid's model and selection; clicks on it select the name, typing edits it
    // in the grid, which then scrolls back to show it.
    m_frozen = new QTableView(this);
    m_frozen->setObjectName(QStringLiteral("frozenNameColumn"));
    m_frozen->setModel(model());
    m_frozen->setSelectionModel(selectionModel());
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->setEditTriggers(NoEditTriggers);
    m_frozen->verticalHeader()->hide();
    m_frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->horizontalHeader()->setHighlightSections(false);
    m_frozen->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollMode(ScrollPerPixel);
    m_frozen->setFrameShape(QFrame::NoFrame);
    m_frozen->hide();
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_frozen->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(m_frozen->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(),
            &QScrollBar::setValue);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &StationGrid::placeFrozenColumn);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            &StationGrid::placeFrozenColumn);
    connect(m_frozen, &QTableView::pressed, this, [this] { setFocus(Qt::MouseFocusReason); });
    // A right click on a name opens the grid's menu for that row.
    m_frozen->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_frozen, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        emit customContextMenuRequested(
            viewport()->mapFromGlobal(m_frozen->viewport()->mapToGlobal(position)));
    });
}

void StationGrid::updateGeometries()
{
    base::updateGeometries();
    placeFrozenColumn();
}

void StationGrid::placeFrozenColumn()
{
    if (!m_frozen)
        return;
    // Only while the name column is scrolled out of full view.
    const bool scrolled = horizontalScrollBar()->value() > 0;
    m_frozen->setVisible(scrolled && columnCount() > 0);
    if (!scrolled || columnCount() == 0)
        return;
    for (int column = 1; column < columnCount(); ++column)
        m_frozen->setColumnHidden(column, true);
    m_frozen->setColumnWidth(0, columnWidth(0));
    m_frozen->verticalHeader()->setMinimumSectionSize(verticalHeader()->minimumSectionSize());
    m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    m_frozen->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    m_frozen->setGeometry(frameWidth() + verticalHeader()->width(), frameWidth(), columnWidth(0),
                          horizontalHeader()->height() + viewport()->height());
    m_frozen->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void StationGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    base::scrollTo(index, hint);
    // A cell right of the names is not left under their copy.
    const int hidden = columnWidth(0) - columnViewportPosition(index.column());
    if (index.isValid() && index.column() > 0 && horizontalScrollBar()->value() > 0 && hidden > 0)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - hidden);
}

bool StationGrid::isEdgeCell(const QModelIndex& index, bool next) const
{
    if (!index.isValid())
        return true;
    return next ? index.row() == rowCount() - 1 && index.column() == columnCount() - 1
                : index.row() == 0 && index.column() == 0;
}

bool StationGrid::focusNextPrevChild(bool next)
{
    // Past the last cell the focus goes on to the next control instead of back to the first.
    if (isEdgeCell(currentIndex(), next))
        return QWidget::focusNextPrevChild(next);
    return base::focusNextPrevChild(next);
}

void StationGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    if ((next || hint == QAbstractItemDelegate::EditPreviousItem)
        && isEdgeCell(currentIndex(), next)) {
        base::closeEditor(editor, QAbstractItemDelegate::NoHint);
        QWidget::focusNextPrevChild(next);
        return;
    }
    base::closeEditor(editor, hint);
}

QString StationGrid::shownText(int column, int row) const
{
    return shownCellText(model()->index(row - 1, column - 1));
}

void StationGrid::prepare()
{
    verticalHeader()->setFixedWidth(numberColumnWidth);
    for (int row = 1; row <= rowCount(); ++row)
        setCell(0, row, QString::number(row));
    setCell(1, 0, QCoreApplication::translate("StationGrid", "服务器名"));
    setCell(2, 0, QCoreApplication::translate("StationGrid", "IP地址"));
    setCell(3, 0, QCoreApplication::translate("StationGrid", "用户名"));
    setCell(4, 0, QCoreApplication::translate("StationGrid", "口令"));
    setColumnCount(encodingColumn);
    setCell(portColumn, 0, QCoreApplication::translate("StationGrid", "端口"));
    setCell(modeColumn, 0, QCoreApplication::translate("StationGrid", "模式"));
    // The whole phrase does not fit a column of the grid's width: the heading says it.
    setCell(tempNameColumn, 0, QCoreApplication::translate("StationGrid", "临时名"));
    horizontalHeaderItem(tempNameColumn - 1)
        ->setToolTip(QCoreApplication::translate("StationGrid", "先传临时名再改名"));
    setCell(tlsColumn, 0, QCoreApplication::translate("StationGrid", "加密"));
    horizontalHeaderItem(tlsColumn - 1)
        ->setToolTip(QCoreApplication::translate(
            "StationGrid",
            "加密（TLS）：auto 服务器支持时加密；必须 不加密就不登录；关闭 不加密；"
            "隐式 从连接起就加密（端口 990）。右键单击行号可忘记记住的证书"));
    setCell(protocolColumn, 0, QCoreApplication::translate("StationGrid", "协议"));
    horizontalHeaderItem(protocolColumn - 1)
        ->setToolTip(
            QCoreApplication::translate("StationGrid",
                                        "FTP 或 SFTP；端口随之改为 21 或 22，除非端口是自己填的。"
                                        "右键单击行号可忘记 SFTP 站点记住的主机密钥"));
    setCell(encodingColumn, 0, QCoreApplication::translate("StationGrid", "编码"));
    horizontalHeaderItem(encodingColumn - 1)
        ->setToolTip(QCoreApplication::translate(
            "StationGrid",
            "文件名编码：自动 服务器声明支持 UTF8 时用 UTF-8，否则用 GBK。"
            "SFTP 的文件名总是 UTF-8"));
    for (int row = 1; row <= rowCount(); ++row)
        setTempName(row, false);
}

void StationGrid::setStationRows(int rows)
{
    const int before = rowCount();
    setRowCount(rows);
    for (int row = before + 1; row <= rows; ++row) {
        setCell(0, row, QString::number(row));
        if (columnCount() >= tempNameColumn)
            setTempName(row, false);
    }
}

Station StationGrid::station(int row) const
{
    Station station;
    for (int column = 1; column <= int(stationFields.size()); ++column)
        station.*stationFields[column - 1] = cell(column, row);
    return station;
}

QList<Station> StationGrid::stations() const
{
    QList<Station> rows;
    for (int row = 1; row <= rowCount(); ++row)
        rows << station(row);
    return rows;
}

void StationGrid::setStations(const QList<Station>& stations)
{
    for (int row = 1; row <= stations.size(); ++row)
        for (int column = 1; column <= int(stationFields.size()); ++column)
            if (cell(column, row) != stations[row - 1].*stationFields[column - 1])
                setCell(column, row, stations[row - 1].*stationFields[column - 1]);
}

StationOptions StationGrid::rowOptions(int row) const
{
    const auto choice = [this, row](int column) {
        return choiceIndex(column - 1, cell(column, row));
    };
    StationOptions options;
    options.protocol = static_cast<Protocol>(choice(protocolColumn));
    options.mode = static_cast<TransferMode>(choice(modeColumn));
    const QTableWidgetItem* tempName = item(row - 1, tempNameColumn - 1);
    options.tempName = tempName && tempName->checkState() == Qt::Checked;
    options.tls = static_cast<TlsMode>(choice(tlsColumn));
    options.encoding = encodingChoices[choice(encodingColumn)];
    const uint port = cell(portColumn, row).trimmed().toUInt();
    options.port = port > 0 && port <= 65535 ? static_cast<quint16>(port)
                                             : defaultPort(options.protocol, options.tls);
    return options;
}

QList<StationOptions> StationGrid::options() const
{
    QList<StationOptions> rows;
    for (int row = 1; row <= rowCount(); ++row)
        rows << rowOptions(row);
    return rows;
}

void StationGrid::setOptions(const QList<StationOptions>& options)
{
    for (int row = 1; row <= rowCount(); ++row) {
        const bool given = row <= options.size();
        const StationOptions shown = options.value(row - 1);
        const auto choice = [given](const QStringList& texts, int index) {
            return given ? texts.value(index) : QString();
        };
        setCell(portColumn, row, given ? QString::number(shown.port) : QString());
        setCell(modeColumn, row, choice(modeTexts(), static_cast<int>(shown.mode)));
        setTempName(row, given && shown.tempName);
        setCell(tlsColumn, row, choice(tlsTexts(), static_cast<int>(shown.tls)));
        setCell(protocolColumn, row, choice(protocolTexts(), static_cast<int>(shown.protocol)));
        setCell(encodingColumn, row, given ? encodingText(shown.encoding) : QString());
    }
}

void StationGrid::setChoice(int column, int row, const QString& text)
{
    if (cell(column, row) == text)
        return;
    const StationOptions before = rowOptions(row);
    setCell(column, row, text);
    // A port the clerk typed stays; the default of the choice before gives way to the new one.
    const StationOptions after = rowOptions(row);
    if (before.port == defaultPort(before.protocol, before.tls))
        setCell(portColumn, row, QString::number(defaultPort(after.protocol, after.tls)));
}

void StationGrid::showProtocol(int row)
{
    if (columnCount() < encodingColumn)
        return;
    const bool sftp = isSftpRow(model(), row - 1);
    for (const int column : {modeColumn, tlsColumn, encodingColumn}) {
        if (!item(row - 1, column - 1))
            setCell(column, row, QString());
        QTableWidgetItem* cellItem = item(row - 1, column - 1);
        cellItem->setFlags(sftp ? cellItem->flags() & ~Qt::ItemIsEditable
                                : cellItem->flags() | Qt::ItemIsEditable);
        cellItem->setToolTip(sftp ? QCoreApplication::translate("StationGrid", "SFTP 站点不用此项")
                                  : QString());
    }
}

int StationGrid::stationRowAt(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    if (index.isValid())
        return index.row() + 1;
    return currentRow() + 1;
}

bool StationGrid::holds(const QWidget* widget) const
{
    return widget && (widget == this || isAncestorOf(widget));
}

void StationGrid::commitEditor()
{
    QWidget* editor = window()->focusWidget();
    if (editor && editor != this && isAncestorOf(editor))
        commitData(editor);
}

void StationGrid::setTempName(int row, bool on)
{
    QTableWidgetItem* cellItem = item(row - 1, tempNameColumn - 1);
    if (!cellItem) {
        cellItem = new QTableWidgetItem;
        // A tick box, not a text: a click toggles it, no editor opens.
        cellItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        cellItem->setToolTip(QCoreApplication::translate("StationGrid", "先传临时名再改名"));
        setItem(row - 1, tempNameColumn - 1, cellItem);
    }
    cellItem->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

QString StationGrid::cell(int column, int row) const
{
    const QTableWidgetItem* cellItem = item(row - 1, column - 1);
    return cellItem ? cellItem->text() : QString();
}

void StationGrid::setCell(int column, int row, const QString& text)
{
    if (row == 0 && column == 0)
        return;
    if (row == 0) {
        setHorizontalHeaderItem(column - 1, new QTableWidgetItem(text));
    } else if (column == 0) {
        setVerticalHeaderItem(row - 1, new QTableWidgetItem(text));
    } else if (QTableWidgetItem* cellItem = item(row - 1, column - 1)) {
        cellItem->setText(text);
    } else {
        setItem(row - 1, column - 1, new QTableWidgetItem(text));
    }
}
