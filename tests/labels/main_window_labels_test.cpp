// The main window's labels as created from their stored settings.
#include "controls/labels/MainWindowLabels.h"
#include "label_fixtures.h"
#include "platform/shellopen.h"

#include <QFontMetrics>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace testing_labels;

TEST(MainWindowLabels, DecoratedLabelsShowTheirCaptionsWithoutFrame)
{
    QWidget form;
    TOvoLabel* first = labels::createOvoLabel1(&form);
    TOvoLabel* second = labels::createOvoLabel2(&form);
    EXPECT_EQ(first->objectName(), "OvoLabel1");
    EXPECT_EQ(second->objectName(), "OvoLabel2");
    EXPECT_EQ(first->geometry(), QRect(313, 291, 65, 17));
    EXPECT_EQ(second->geometry(), QRect(313, 311, 65, 17));
    EXPECT_EQ(first->Caption(), QStringLiteral("欢迎光临："));
    EXPECT_EQ(second->Caption(), QStringLiteral("给我来信："));
    for (TOvoLabel* label : {first, second}) {
        EXPECT_EQ(label->parentWidget(), &form);
        EXPECT_EQ(label->Frame().FrameStyle(), TOvoFrameStyle::frameNone);
        EXPECT_EQ(label->Font3D().Style3D(), TOvoStyle3D::fontOnlyHighlight);
        label->setPalette(fixedPalette());
        label->setFont(crispFont());
        const QImage image = label->paintImage();
        // The caption in the font colour with its highlight copy, on the window colour.
        EXPECT_GT(pixelsOf(image, text).size(), 20u);
        EXPECT_FALSE(pixelsOf(image, light).empty());
        EXPECT_EQ(rgbAt(image, 64, 16), window);
    }
}

TEST(MainWindowLabels, CommandLabelsOpenTheMakersHomePageAndMail)
{
    QStringList targets;
    const auto previous = platform::setShellOpenHook([&](const QString& t) { targets << t; });
    QWidget form;
    form.resize(520, 350);
    TOvoCommandLabel* home = labels::createOvoCommandLabel1(&form);
    TOvoCommandLabel* mail = labels::createOvoCommandLabel2(&form);
    EXPECT_EQ(home->objectName(), "OvoCommandLabel1");
    EXPECT_EQ(mail->objectName(), "OvoCommandLabel2");
    EXPECT_EQ(home->geometry(), QRect(399, 291, 64, 16));
    EXPECT_EQ(mail->geometry(), QRect(379, 310, 115, 16));
    EXPECT_EQ(home->Caption(), "Tellumar");
    EXPECT_EQ(home->Command(), TOvoCommand::runURL);
    EXPECT_EQ(mail->Caption(), "ovo@example.com");
    EXPECT_LE(QFontMetrics(mail->font()).horizontalAdvance(mail->Caption()), mail->width());
    EXPECT_LE(QFontMetrics(home->font()).horizontalAdvance(home->Caption()), home->width());
    EXPECT_EQ(mail->Command(), TOvoCommand::runMAIL);
    EXPECT_EQ(home->font().pixelSize(), 16);
    EXPECT_EQ(mail->font().pixelSize(), 13);
    for (TOvoCommandLabel* label : {home, mail}) {
        EXPECT_FALSE(label->font().underline());
        EXPECT_EQ(label->FontColor(), platform::clBlue);
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    }
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (TOvoCommandLabel* label : {home, mail}) {
        const QPoint p = label->mapTo(&form, QPoint(3, 3));
        QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, p);
        // Pressed, the caption takes its stored colour again.
        EXPECT_EQ(label->FontColor(), platform::clBlue);
        QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, p);
        EXPECT_EQ(label->FontColor(), platform::clPurple);
    }
    platform::setShellOpenHook(previous);
    EXPECT_EQ(targets, (QStringList{"http://www.tellumar.example.com",
                                    "mailto:ovo@example.com"}));
}
