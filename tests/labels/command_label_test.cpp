// The command label driven by the mouse: targets, colours and capture.
#include "controls/labels/OvoTCommandLabel.h"
#include "platform/shellopen.h"

#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

namespace {

class CommandLabelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousHook = platform::setShellOpenHook([this](const QString& target) {
            targets << target;
        });
        form = std::make_unique<QWidget>();
        form->resize(300, 100);
        label = new TOvoCommandLabel(form.get());
        label->setGeometry(20, 20, 100, 20);
        label->Loaded();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    void TearDown() override
    {
        form.reset();
        platform::setShellOpenHook(m_previousHook);
    }

    // Points in label coordinates; events go through the window as the desktop sends them.
    QWindow* window() const { return form->windowHandle(); }
    QPoint at(int x, int y) const { return label->mapTo(form.get(), QPoint(x, y)); }
    // QTest remembers the buttons it pressed and moves with them held.
    void move(int x, int y) { QTest::mouseMove(window(), at(x, y)); }
    void press(int x, int y) { QTest::mousePress(window(), Qt::LeftButton, {}, at(x, y)); }
    void release(int x, int y) { QTest::mouseRelease(window(), Qt::LeftButton, {}, at(x, y)); }

    QStringList targets;
    std::unique_ptr<QWidget> form;
    TOvoCommandLabel* label = nullptr;

private:
    platform::ShellOpenHook m_previousHook;
};

} // namespace

TEST_F(CommandLabelTest, PressHandsThePrefixedTargetToTheShell)
{
    label->setCommand(TOvoCommand::runMAIL);
    label->setCaption(QStringLiteral("someone@example.com"));
    label->setCaptionValue(QStringLiteral("someone@example.com"));
    press(5, 5);
    // The action comes with the press, before any release.
    EXPECT_EQ(targets, QStringList{QStringLiteral("mailto:someone@example.com")});
    release(5, 5);

    label->setCommand(TOvoCommand::runURL);
    label->setCaption(QStringLiteral("http://www.example.com"));
    label->setCaptionValue(QStringLiteral("www.example.com"));
    press(5, 5);
    release(5, 5);
    EXPECT_EQ(targets.last(), QStringLiteral("www.example.com"));

    label->setCaption(QStringLiteral("Example"));
    label->setCommand(TOvoCommand::runFTP);
    press(5, 5);
    release(5, 5);
    EXPECT_EQ(targets.last(), QStringLiteral("ftp://www.example.com"));
    label->setCommand(TOvoCommand::runFILE);
    label->setCaptionValue(QStringLiteral("/tmp/notice.txt"));
    press(5, 5);
    release(5, 5);
    EXPECT_EQ(targets.last(), QStringLiteral("file:/tmp/notice.txt"));

    label->setCommand(TOvoCommand::runNothing);
    label->setCaptionValue(QString());
    press(5, 5);
    release(5, 5);
    EXPECT_EQ(targets.last(), QString());
    EXPECT_EQ(targets.size(), 5);

    // A double click opens its target once.
    int doubleClicks = 0;
    label->OnDblClick = [&](TOvoCommandLabel*) { ++doubleClicks; };
    label->setCaptionValue(QStringLiteral("once"));
    QTest::mouseDClick(window(), Qt::LeftButton, {}, at(5, 5));
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(targets.size(), 6);
    EXPECT_EQ(targets.last(), QStringLiteral("once"));
}

TEST_F(CommandLabelTest, EventCommandFiresRunEventUnlessTheCaptionCarriesTheMarker)
{
    int events = 0;
    label->RunEvent = [&](TOvoCommandLabel* sender) {
        EXPECT_EQ(sender, label);
        ++events;
    };
    label->setCommand(TOvoCommand::runEVENT);
    label->setCaption(QStringLiteral("Run it"));
    label->setCaptionValue(QStringLiteral("value"));
    press(5, 5);
    release(5, 5);
    EXPECT_EQ(events, 1);
    EXPECT_TRUE(targets.isEmpty());

    label->setCaption(QStringLiteral("event list"));
    press(5, 5);
    release(5, 5);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(targets, QStringList{QStringLiteral("value")});

    label->RunEvent = nullptr;
    label->setCaption(QStringLiteral("Run it"));
    press(5, 5);
    release(5, 5);
    EXPECT_EQ(label->FontColor(), platform::clPurple);
}

TEST_F(CommandLabelTest, ColourFollowsThePointerPressAndRelease)
{
    int clicks = 0;
    label->OnClick = [&](TOvoCommandLabel*) { ++clicks; };
    EXPECT_EQ(label->FontColor(), platform::clBlue);
    move(10, 10);
    EXPECT_EQ(label->FontColor(), platform::clRed);
    EXPECT_TRUE(label->hasCapture());
    press(10, 10);
    EXPECT_EQ(label->FontColor(), platform::clBlue);
    EXPECT_TRUE(label->Followed());
    release(10, 10);
    EXPECT_EQ(label->FontColor(), platform::clPurple);
    EXPECT_EQ(clicks, 1);
    move(11, 10);
    EXPECT_EQ(label->FontColor(), platform::clRed);
    move(99, 19);
    EXPECT_EQ(label->FontColor(), platform::clRed);
    move(100, 10);
    EXPECT_EQ(label->FontColor(), platform::clPurple);
    EXPECT_FALSE(label->hasCapture());
    // Outside the label nothing more arrives.
    move(150, 50);
    EXPECT_EQ(label->FontColor(), platform::clPurple);

    // A label that was never pressed returns to its own colour.
    auto* other = new TOvoCommandLabel(form.get());
    other->setGeometry(20, 60, 100, 20);
    other->setFontColor(platform::clGreen);
    other->Loaded();
    other->show();
    QTest::mouseMove(window(), other->mapTo(form.get(), QPoint(5, 5)));
    EXPECT_EQ(other->FontColor(), platform::clRed);
    QTest::mouseMove(window(), other->mapTo(form.get(), QPoint(5, -3)));
    EXPECT_EQ(other->FontColor(), platform::clGreen);
}

TEST_F(CommandLabelTest, LeavingWithTheButtonHeldReleasesTheCaptureAndTheReleaseGoesElsewhere)
{
    int ups = 0;
    int clicks = 0;
    label->OnMouseUp = [&](TOvoCommandLabel*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) { ++ups; };
    label->OnClick = [&](TOvoCommandLabel*) { ++clicks; };
    move(10, 10);
    press(10, 10);
    EXPECT_EQ(targets.size(), 1);
    // With the button held the right and bottom edges still count as inside.
    move(100, 20);
    EXPECT_EQ(label->FontColor(), platform::clBlue);
    EXPECT_TRUE(label->hasCapture());
    move(10, 40);
    EXPECT_EQ(label->FontColor(), platform::clPurple);
    EXPECT_FALSE(label->hasCapture());
    release(10, 40);
    EXPECT_EQ(ups, 0);
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(label->ButtonDown());
    EXPECT_EQ(targets.size(), 1);
}

TEST_F(CommandLabelTest, DisabledOrHiddenLabelIgnoresTheMouse)
{
    label->setEnabled(false);
    move(10, 10);
    press(10, 10);
    release(10, 10);
    EXPECT_TRUE(targets.isEmpty());
    EXPECT_EQ(label->FontColor(), platform::clBlue);
    EXPECT_FALSE(label->Followed());

    label->setEnabled(true);
    label->hide();
    press(10, 10);
    release(10, 10);
    EXPECT_TRUE(targets.isEmpty());
    EXPECT_EQ(label->FontColor(), platform::clBlue);
}

TEST_F(CommandLabelTest, WithoutStoredSettingsThePressTurnsTheCaptionBlack)
{
    auto* fresh = new TOvoCommandLabel(form.get());
    fresh->setGeometry(150, 20, 100, 20);
    fresh->show();
    EXPECT_EQ(fresh->Command(), TOvoCommand::runURL);
    EXPECT_TRUE(fresh->font().underline());
    QTest::mousePress(window(), Qt::LeftButton, {}, fresh->mapTo(form.get(), QPoint(5, 5)));
    EXPECT_EQ(fresh->FontColor(), platform::clBlack);
    EXPECT_TRUE(targets.last().startsWith(QStringLiteral("http://")));
    EXPECT_TRUE(QUrl(targets.last()).host().endsWith(QStringLiteral("example.com")));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, fresh->mapTo(form.get(), QPoint(5, 5)));
}

TEST_F(CommandLabelTest, InactiveFormDoesNotLightUpTheLabel)
{
    QWidget other;
    other.resize(50, 50);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    move(10, 10);
    EXPECT_EQ(label->FontColor(), platform::clBlue);
}

TEST(ShellTarget, SchemesStayPathsAreFilesAndBareHostsAreWebAddresses)
{
    EXPECT_EQ(platform::shellTargetUrl("mailto:a@example.com").scheme(), "mailto");
    EXPECT_EQ(platform::shellTargetUrl("http://www.example.com/x").host(), "www.example.com");
    EXPECT_EQ(platform::shellTargetUrl("ftp://ftp.example.com").scheme(), "ftp");
    EXPECT_EQ(platform::shellTargetUrl("file:/tmp/a b.txt").toLocalFile(), "/tmp/a b.txt");
    EXPECT_EQ(platform::shellTargetUrl("/tmp/notice.txt").toLocalFile(), "/tmp/notice.txt");
    // What a link label hands over without its prefix.
    EXPECT_EQ(platform::shellTargetUrl("www.example.com/ovo").toString(),
              "http://www.example.com/ovo");
}
