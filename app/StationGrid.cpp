// Cells of the station grid and the stations they hold.
#include "app/StationGrid.h"

#include "app/LineValues.h"
#include "platform/codepage.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableWidgetItem>
#include <QValidator>

#include <algorithm>

namespace {

constexpr int numberColumnWidth = 18;
// Grid columns as the row numbers count them (1 is the station's name).
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

// Keeps a cell within the bytes its field holds in GBK: of a text typed, pasted or committed by
// an input method, the characters that would pass the limit are dropped, at the cursor, so
// that the longest part that fits stays.
class FieldBytesValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override
    {
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
        if (index.column() == portColumn - 1) {
            if (auto* line = qobject_cast<QLineEdit*>(editor))
                line->setValidator(new QIntValidator(1, 65535, line));
            return editor;
        }
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            // A line break or NUL would cut the command that carries a user name or password.
            auto* grid = static_cast<StationGrid*>(this->parent());
            line->setValidator(new OneLineValidator(
                line, [grid] { emit grid->inputRefused(lineBreakRefusedMessage()); },
                new FieldBytesValidator(line)));
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
        if (auto* list = qobject_cast<QComboBox*>(editor))
            model->setData(index, list->currentText());
        else
            QStyledItemDelegate::setModelData(editor, model, index);
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
