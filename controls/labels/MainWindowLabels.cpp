// Stored settings of the main window's labels.
#include "controls/labels/MainWindowLabels.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

namespace labels {

namespace {

DecoratedLabel* createDecoratedLabel(QWidget* parent, const char* name, const QString& caption,
                                     const QRect& geometry)
{
    auto* label = new DecoratedLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setCaption(caption);
    label->Frame().setFrameStyle(FrameStyle::frameNone);
    return label;
}

CommandLabel* createCommandLabel(QWidget* parent, const char* name, const QString& caption,
                                 const QString& target, CommandTarget command,
                                 const QRect& geometry, const QStringList& families, int pixelSize)
{
    auto* label = new CommandLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setCaption(caption);
    label->setCaptionValue(target);
    label->setCommand(command);
    QFont font = label->font();
    font.setFamilies(families);
    font.setPixelSize(pixelSize);
    font.setUnderline(false);
    label->setFont(font);
    label->setFontColor(platform::clBlue);
    label->setCursor(Qt::PointingHandCursor);
    label->Loaded();
    return label;
}

} // namespace

DecoratedLabel* createHomePageCaption(QWidget* parent)
{
    return createDecoratedLabel(parent, "homePageCaption",
                                QCoreApplication::translate("MainWindowLabels", "欢迎光临："),
                                QRect(313, 291, 65, 17));
}

DecoratedLabel* createMailCaption(QWidget* parent)
{
    return createDecoratedLabel(parent, "mailCaption",
                                QCoreApplication::translate("MainWindowLabels", "给我来信："),
                                QRect(313, 311, 65, 17));
}

CommandLabel* createHomePageLink(QWidget* parent)
{
    // FangSong where installed, else the nearest faces of a Linux desktop.
    return createCommandLabel(
        parent, "homePageLink", QStringLiteral("Tellumar"), QLatin1String(makerHomePage),
        CommandTarget::runURL, QRect(399, 291, 64, 16),
        {QStringLiteral("仿宋_GB2312"), QStringLiteral("FangSong"), QStringLiteral("AR PL UKai CN"),
         QStringLiteral("WenQuanYi Micro Hei")},
        16);
}

CommandLabel* createMailLink(QWidget* parent)
{
    // Narrow faces first: the whole address must fit the label's 115 pixels.
    CommandLabel* label = createCommandLabel(
        parent, "mailLink", QLatin1String(makerMailAddress), QLatin1String(makerMailAddress),
        CommandTarget::runMAIL, QRect(379, 310, 115, 16),
        {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
         QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("WenQuanYi Micro Hei")},
        13);
    // A longer address chosen for the build widens the label so that it shows whole.
    const int needed = QFontMetrics(label->font()).horizontalAdvance(label->Caption());
    label->resize(std::max(label->width(), needed), label->height());
    return label;
}

} // namespace labels
