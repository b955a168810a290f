// The command label driven by the mouse: targets, colours and capture.
#include "controls/labels/CommandLabel.h"
#include "platform/shellopen.h"

#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

namespace {

class CommandLabelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousHook = platform::setShellOpenHook([this](const QString& t) { targets << t; });
        form.resize(300, 100);
        label = addLabel(20);
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    void TearDown() override { platform::setShellOpenHook(m_previousHook); }

    CommandLabel* addLabel(int y, bool loaded = true)
    {
        auto* added = new CommandLabel(&form);
        added->setGeometry(20, y, 100, 20);
        if (loaded)
            added->Loaded();
        added->show();
        return added;
    }
    // Points in label coordinates; events go through the window as the desktop sends them.
    // QTest remembers the buttons it pressed and moves with them held.
    QPoint at(int x, int y, CommandLabel* on = nullptr) const
    {
        return (on ? on : label)->mapTo(&form, QPoint(x, y));
    }
    QWindow* window() const { return form.windowHandle(); }
    void move(int x, int y) { QTest::mouseMove(window(), at(x, y)); }
    void press(int x, int y) { QTest::mousePress(window(), Qt::LeftButton, {}, at(x, y)); }
    void release(int x, int y) { QTest::mouseRelease(window(), Qt::LeftButton, {}, at(x, y)); }

    QStringList targets;
    QWidget form;
    CommandLabel* label = nullptr;

private:
    platform::ShellOpenHook m_previousHook;
};

} // namespace

TEST_F(CommandLabelTest, PressHandsThePrefixedTargetToTheShellOrRunsTheEvent)
{
    label->RunEvent = [&](CommandLabel* sender) {
        targets << (sender == label ? "RunEvent" : "RunEvent of another label");
    };
    using C = CommandTarget;
    // Command, caption, value, what the press opens.
    const std::tuple<C, const char*, const char*, const char*> rows[] = {
        {C::runMAIL, "someone@example.com", "someone@example.com", "mailto:someone@example.com"},
        {C::runURL, "Example", "www.example.com", "http://www.example.com"},
        {C::runURL, "http://www.example.com", "www.example.com", "www.example.com"},
        {C::runFTP, "Example", "www.example.com", "ftp://www.example.com"},
        {C::runFILE, "Example", "/tmp/notice.txt", "file:/tmp/notice.txt"},
        {C::runNothing, "Example", "notice.txt", "notice.txt"},
        {C::runEVENT, "event list", "value", "value"},
        {C::runEVENT, "Run it", "value", "RunEvent"},
    };
    // What the presses since the last look opened, one entry each.
    qsizetype seen = 0;
    const auto opened = [&] {
        return targets.mid(std::exchange(seen, targets.size())).join(" | ").toStdString();
    };
    for (const auto& [command, caption, value, target] : rows) {
        label->setCommand(command);
        label->setCaption(caption);
        label->setCaptionValue(value);
        press(5, 5);
        // The action comes with the press, before any release.
        EXPECT_EQ(opened(), target) << caption;
        release(5, 5);
    }
    label->RunEvent = nullptr;
    press(5, 5);
    release(5, 5);
    EXPECT_EQ(targets.size(), seen);
    EXPECT_EQ(label->FontColor(), colors::clPurple);

    // A double click opens its target once.
    int doubleClicks = 0;
    label->OnDblClick = [&](CommandLabel*) { ++doubleClicks; };
    label->setCommand(C::runNothing);
    label->setCaptionValue(QStringLiteral("once"));
    QTest::mouseDClick(window(), Qt::LeftButton, {}, at(5, 5));
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(opened(), "once");
}

TEST_F(CommandLabelTest, ColourFollowsThePointerPressAndRelease)
{
    int clicks = 0;
    label->OnClick = [&](CommandLabel*) { ++clicks; };
    EXPECT_EQ(label->FontColor(), colors::clBlue);
    move(10, 10);
    EXPECT_EQ(label->FontColor(), colors::clRed);
    EXPECT_TRUE(label->hasCapture());
    press(10, 10);
    EXPECT_EQ(label->FontColor(), colors::clBlue);
    EXPECT_TRUE(label->Followed());
    release(10, 10);
    EXPECT_EQ(label->FontColor(), colors::clPurple);
    EXPECT_EQ(clicks, 1);
    move(99, 19);
    EXPECT_EQ(label->FontColor(), colors::clRed);
    move(100, 10);
    EXPECT_EQ(label->FontColor(), colors::clPurple);
    EXPECT_FALSE(label->hasCapture());
    // Outside the label nothing more arrives.
    move(150, 50);
    EXPECT_EQ(label->FontColor(), colors::clPurple);

    // A label that was never pressed returns to its own colour.
    auto* other = addLabel(60, false);
    other->setFontColor(colors::clGreen);
    other->Loaded();
    QTest::mouseMove(window(), at(5, 5, other));
    EXPECT_EQ(other->FontColor(), colors::clRed);
    QTest::mouseMove(window(), at(5, -3, other));
    EXPECT_EQ(other->FontColor(), colors::clGreen);
}

TEST_F(CommandLabelTest, LeavingWithTheButtonHeldReleasesTheCaptureAndTheReleaseGoesElsewhere)
{
    int upsAndClicks = 0;
    label->OnMouseUp = [&](CommandLabel*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
        ++upsAndClicks;
    };
    label->OnClick = [&](CommandLabel*) { ++upsAndClicks; };
    move(10, 10);
    press(10, 10);
    // With the button held the right and bottom edges still count as inside.
    move(100, 20);
    EXPECT_EQ(label->FontColor(), colors::clBlue);
    EXPECT_TRUE(label->hasCapture());
    move(10, 40);
    EXPECT_EQ(label->FontColor(), colors::clPurple);
    EXPECT_FALSE(label->hasCapture());
    release(10, 40);
    EXPECT_EQ(upsAndClicks, 0);
    EXPECT_TRUE(label->ButtonDown());
    EXPECT_EQ(targets.size(), 1);
}

TEST_F(CommandLabelTest, DisabledHiddenOrInactiveLabelIgnoresTheMouse)
{
    label->setEnabled(false);
    move(10, 10);
    press(10, 10);
    release(10, 10);
    label->setEnabled(true);
    label->hide();
    press(10, 10);
    release(10, 10);
    EXPECT_TRUE(targets.isEmpty());
    EXPECT_EQ(label->FontColor(), colors::clBlue);
    EXPECT_FALSE(label->Followed());

    label->show();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    move(11, 10);
    EXPECT_EQ(label->FontColor(), colors::clBlue);
}

TEST_F(CommandLabelTest, WithoutStoredSettingsThePressOpensAWebAddressAndTurnsTheCaptionBlack)
{
    auto* fresh = addLabel(60, false);
    EXPECT_TRUE(fresh->font().underline());
    QTest::mousePress(window(), Qt::LeftButton, {}, at(5, 5, fresh));
    EXPECT_EQ(fresh->FontColor(), colors::clBlack);
    EXPECT_TRUE(targets.last().startsWith(QStringLiteral("http://")));
    EXPECT_TRUE(QUrl(targets.last()).host().endsWith(QStringLiteral("example.com")));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, at(5, 5, fresh));
}

TEST(ShellTarget, SchemesStayPathsAreFilesAndBareHostsAreWebAddresses)
{
    const std::pair<const char*, const char*> targets[] = {
        {"mailto:a@example.com", "mailto:a@example.com"},
        {"http://www.example.com/x", "http://www.example.com/x"},
        {"ftp://ftp.example.com", "ftp://ftp.example.com"},
        {"file:/tmp/a b.txt", "file:///tmp/a b.txt"},
        {"/tmp/notice.txt", "file:///tmp/notice.txt"},
        // What a link label hands over without its prefix.
        {"www.example.com/ovo", "http://www.example.com/ovo"},
    };
    for (const auto& [target, url] : targets)
        EXPECT_EQ(platform::shellTargetUrl(target).toString(), url);
}
