// Cells of the station grid and the stations they hold.
#include "app/StationGrid.h"

#include "app/LineValues.h"
#include "platform/codepage.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
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

// The mode cells' texts, in the order of TransferMode, in the reader's language.
QStringList modeTexts()
{
    return {QStringLiteral("auto"), QCoreApplication::translate("StationGrid", "主动"),
            QCoreApplication::translate("StationGrid", "被动")};
}

QString modeText(TransferMode mode)
{
    return modeTexts().value(static_cast<int>(mode));
}

TransferMode modeFromText(const QString& text)
{
    const qsizetype index = modeTexts().indexOf(text.trimmed());
    return index > 0 ? static_cast<TransferMode>(index) : TransferMode::Auto;
}

// The TLS cells' texts, in the order of TlsMode; "auto" as the mode column has it.
QStringList tlsTexts()
{
    return {QStringLiteral("auto"), QCoreApplication::translate("StationGrid", "必须"),
            QCoreApplication::translate("StationGrid", "关闭")};
}

TlsMode tlsFromText(const QString& text)
{
    const qsizetype index = tlsTexts().indexOf(text.trimmed());
    return index > 0 ? static_cast<TlsMode>(index) : TlsMode::Auto;
}

// The texts a cell of `column` (from 0) is chosen from; empty for a cell that is typed.
QStringList choicesOf(int column)
{
    if (column == modeColumn - 1)
        return modeTexts();
    if (column == tlsColumn - 1)
        return tlsTexts();
    return {};
}

QString gridText(const char* text)
{
    return QCoreApplication::translate("StationGrid", text);
}

// What a cell of `column` shows of its text: a password as one dot per character.
QString shownCellText(int column, const QString& text)
{
    return column == passwordColumn ? QString(text.size(), QChar(0x25CF)) : text;
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

class StationCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        if (const QStringList choices = choicesOf(index.column()); !choices.isEmpty()) {
            auto* list = new QComboBox(parent);
            list->addItems(choices);
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
                    line, refuse(QT_TRANSLATE_NOOP("StationGrid", "端口须是 1 到 65535 之间的数"))));
            return editor;
        }
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            // A line break or NUL would cut the command that carries a user name or password.
            line->setValidator(new OneLineValidator(
                line, [grid] { emit grid->inputRefused(lineBreakRefusedMessage()); },
                new FieldBytesValidator(
                    line, refuse(QT_TRANSLATE_NOOP(
                              "StationGrid", "每格最多 16 字节（8 个汉字）：多出的部分已截去")))));
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
            model->setData(index, list->currentText());
            return;
        }
        // The cell keeps the address it had.
        const auto* line = qobject_cast<QLineEdit*>(editor);
        if (line && index.column() == addressColumn - 1 && !isStationAddress(line->text())) {
            emit static_cast<StationGrid*>(parent())->inputRefused(
                gridText(QT_TRANSLATE_NOOP("StationGrid",
                                           "“%1”既不是 IP 地址，也不是主机名，未被接受"))
                    .arg(line->text()));
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = shownCellText(index.column() + 1, option->text);
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
    m_frozen->setGeometry(frameWidth() + verticalHeader()->width(), frameWidth(),
                          columnWidth(0), horizontalHeader()->height() + viewport()->height());
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
    return shownCellText(column, cell(column, row));
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
    setColumnCount(tlsColumn);
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
            "加密（TLS）：auto 服务器支持时加密；必须 不加密就不登录；关闭 不加密。"
            "右键单击行号可忘记记住的证书"));
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

QList<StationOptions> StationGrid::options() const
{
    QList<StationOptions> rows;
    for (int row = 1; row <= rowCount(); ++row) {
        StationOptions options;
        const uint port = cell(portColumn, row).trimmed().toUInt();
        if (port > 0 && port <= 65535)
            options.port = static_cast<quint16>(port);
        options.mode = modeFromText(cell(modeColumn, row));
        const QTableWidgetItem* tempName = item(row - 1, tempNameColumn - 1);
        options.tempName = tempName && tempName->checkState() == Qt::Checked;
        options.tls = tlsFromText(cell(tlsColumn, row));
        rows << options;
    }
    return rows;
}

void StationGrid::setOptions(const QList<StationOptions>& options)
{
    for (int row = 1; row <= rowCount(); ++row) {
        const bool given = row <= options.size();
        setCell(portColumn, row, given ? QString::number(options[row - 1].port) : QString());
        setCell(modeColumn, row, given ? modeText(options[row - 1].mode) : QString());
        setTempName(row, given && options[row - 1].tempName);
        setCell(tlsColumn, row,
                given ? tlsTexts().value(static_cast<int>(options[row - 1].tls)) : QString());
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
