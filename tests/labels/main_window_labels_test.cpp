// The main window's labels as created from their stored settings.
#include "controls/labels/MainWindowLabels.h"
#include "platform/shellopen.h"

#include <QFontMetrics>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <tuple>

TEST(MainWindowLabels, DecoratedAndCommandLabelsAsStored)
{
    QStringList targets;
    const auto previous = platform::setShellOpenHook([&](const QString& t) { targets << t; });
    QWidget form;
    form.resize(520, 350);
    DecoratedLabel* first = labels::createHomePageCaption(&form);
    DecoratedLabel* second = labels::createMailCaption(&form);
    CommandLabel* home = labels::createHomePageLink(&form);
    CommandLabel* mail = labels::createMailLink(&form);
    const std::tuple<CustomLabel*, const char*, QRect, QString> rows[] = {
        {first, "homePageCaption", QRect(313, 291, 65, 17), QStringLiteral("欢迎光临：")},
        {second, "mailCaption", QRect(313, 311, 65, 17), QStringLiteral("给我来信：")},
        {home, "homePageLink", QRect(399, 291, 64, 16), QStringLiteral("Tellumar")},
        {mail, "mailLink", QRect(379, 310, 115, 16), QLatin1String(labels::makerMailAddress)},
    };
    for (const auto& [label, name, geometry, caption] : rows) {
        EXPECT_EQ(label->objectName(), name);
        // A mail address of the build longer than the stored width widens its label.
        EXPECT_EQ(label->geometry(),
                  label == mail ? geometry.adjusted(0, 0, label->width() - geometry.width(), 0)
                                : geometry);
        EXPECT_GE(label->width(), geometry.width());
        EXPECT_EQ(label->Caption(), caption);
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(caption), label->width()) << name;
    }
    for (DecoratedLabel* label : {first, second}) {
        EXPECT_EQ(label->Frame().frameStyle(), FrameStyle::frameNone);
        EXPECT_EQ(label->font3D().style3D(), Style3D::fontOnlyHighlight);
    }
    EXPECT_EQ(home->Command(), CommandTarget::runURL);
    EXPECT_EQ(mail->Command(), CommandTarget::runMAIL);
    EXPECT_EQ(home->font().pixelSize(), 16);
    EXPECT_EQ(mail->font().pixelSize(), 13);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (CommandLabel* label : {home, mail}) {
        EXPECT_FALSE(label->font().underline());
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(label->FontColor(), platform::clBlue);
        const QPoint p = label->mapTo(&form, QPoint(3, 3));
        QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, p);
        // Pressed, the caption takes its stored colour again.
        EXPECT_EQ(label->FontColor(), platform::clBlue);
        QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, p);
        EXPECT_EQ(label->FontColor(), platform::clPurple);
    }
    platform::setShellOpenHook(previous);
    EXPECT_EQ(targets,
              (QStringList{QStringLiteral("http://") + labels::makerHomePage,
                           QStringLiteral("mailto:") + labels::makerMailAddress}));
}
