// Hidden message windows: classes, the pointer slot, posted messages, timers, waiting.
#include "net/compat/messages.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

using namespace compat;

namespace {

// Each delivery as "message wParam low-word high-word", and the pointer slot the last one saw.
QStringList delivered;
void* pointerSeen = nullptr;

LRESULT recordingProc(HWND window, quint32 message, WPARAM wParam, LPARAM lParam)
{
    delivered << QStringLiteral("%1 %2 %3 %4")
                     .arg(message)
                     .arg(wParam)
                     .arg(lowWord(lParam))
                     .arg(highWord(lParam));
    pointerSeen = windowPointer(window);
    return 7;
}

HWND recordingWindow()
{
    if (!isWindowClassRegistered("RecordingClass"))
        registerWindowClass("RecordingClass", recordingProc);
    delivered.clear();
    return createWindow("RecordingClass");
}

} // namespace

TEST(MessageWindows, ClassesAreRegisteredOnceAndWindowsCarryOnePointer)
{
    EXPECT_FALSE(isWindowClassRegistered("OnceClass"));
    EXPECT_TRUE(registerWindowClass("OnceClass", recordingProc));
    EXPECT_TRUE(isWindowClassRegistered("OnceClass"));
    EXPECT_FALSE(registerWindowClass("OnceClass", recordingProc));
    EXPECT_EQ(createWindow("NoSuchClass"), NoWindow);

    const HWND first = createWindow("OnceClass");
    const HWND second = createWindow("OnceClass");
    ASSERT_NE(first, NoWindow);
    EXPECT_NE(first, second);
    EXPECT_TRUE(isWindow(first));
    EXPECT_EQ(windowPointer(first), nullptr);
    int object = 0;
    setWindowPointer(first, &object);
    EXPECT_EQ(windowPointer(first), &object);
    EXPECT_EQ(windowPointer(second), nullptr);
    EXPECT_EQ(findWindow("OnceClass"), second);
    destroyWindow(second);
    EXPECT_EQ(findWindow("OnceClass"), first);
    destroyWindow(first);
    EXPECT_EQ(findWindow("OnceClass"), NoWindow);
    EXPECT_FALSE(isWindow(first));
    EXPECT_EQ(windowPointer(first), nullptr);
    EXPECT_EQ(defWindowProc(first, 1125, 1, 2), 0);

    // A window that carries an object registers its class on first use.
    const HWND carrier = createObjectWindow("CarrierClass", recordingProc, &object);
    EXPECT_TRUE(isWindowClassRegistered("CarrierClass"));
    EXPECT_EQ(windowPointer(carrier), &object);
    EXPECT_EQ(findWindow("CarrierClass"), carrier);
    destroyWindow(carrier);
}

TEST(MessageWindows, PostedMessagesArriveOnlyWhenDispatchedAndInOrder)
{
    const HWND window = recordingWindow();
    ASSERT_TRUE(PostMessage(window, 1125, 3, makeLParam(1, 10054)));
    ASSERT_TRUE(PostMessage(window, 1126, 4, 5));
    EXPECT_TRUE(delivered.isEmpty());
    int object = 0;
    setWindowPointer(window, &object); // set before dispatch: the messages find it
    processMessages();
    EXPECT_EQ(delivered, (QStringList{"1125 3 1 10054", "1126 4 5 0"}));
    EXPECT_EQ(pointerSeen, &object);

    // A message whose preparation refuses is dropped; a destroyed window gets nothing.
    delivered.clear();
    postMessageWith(window, 1125, 0, 0, [] { return false; });
    postMessageWith(window, 1126, 0, 0, [] { return true; });
    processMessages();
    EXPECT_EQ(delivered, QStringList{"1126 0 0 0"});
    delivered.clear();
    PostMessage(window, 1125, 0, 0);
    destroyWindow(window);
    processMessages();
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_FALSE(PostMessage(NoWindow, 1125, 0, 0));
}

TEST(MessageWindows, TimersDeliverMessage275UntilKilled)
{
    const HWND window = recordingWindow();
    ASSERT_TRUE(SetTimer(window, 1, 10));
    EXPECT_TRUE(QTest::qWaitFor([] { return delivered.size() >= 3; }, 2000));
    EXPECT_EQ(delivered.count(QStringLiteral("275 1 0 0")), delivered.size());
    EXPECT_TRUE(KillTimer(window, 1));
    EXPECT_FALSE(KillTimer(window, 1));
    processMessages();
    delivered.clear();
    QTest::qWait(60); // time for a tick that must not come
    EXPECT_TRUE(delivered.isEmpty());

    setTimerRefusedForTesting(true);
    EXPECT_FALSE(SetTimer(window, 1, 10));
    setTimerRefusedForTesting(false);
    destroyWindow(window);
    EXPECT_FALSE(SetTimer(window, 1, 10));
}

TEST(MessageWindows, WaitingBlocksUntilAMessageOrTheLimit)
{
    const HWND window = recordingWindow();
    // Nothing happens: each wait blocks until its limit instead of spinning.
    processMessages();
    QElapsedTimer clock;
    clock.start();
    int passes = 0;
    for (; clock.elapsed() < 200; ++passes)
        waitMessages(50);
    EXPECT_LE(passes, 10);

    // A message posted from another thread ends an unlimited wait at once.
    std::thread poster([window] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PostMessage(window, 1126, 9, 0);
    });
    clock.restart();
    while (delivered.isEmpty() && clock.elapsed() < 3000)
        waitMessages(3000);
    poster.join();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(delivered, QStringList{"1126 9 0 0"});
    destroyWindow(window);

    clock.restart();
    Sleep(20);
    EXPECT_GE(clock.elapsed(), 19);
}
