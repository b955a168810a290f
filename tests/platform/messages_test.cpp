// Hidden message windows: classes, the pointer slot, posted messages, timers, waiting.
#include "platform/messages.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

namespace {

struct Delivery {
    HWND window;
    quint32 message;
    WPARAM wParam;
    LPARAM lParam;
    void* pointer;
};

std::vector<Delivery>& deliveries()
{
    static std::vector<Delivery> list;
    return list;
}

LRESULT recordingProc(HWND window, quint32 message, WPARAM wParam, LPARAM lParam)
{
    deliveries().push_back({window, message, wParam, lParam, windowPointer(window)});
    return 7;
}

HWND recordingWindow()
{
    if (!isWindowClassRegistered("RecordingClass"))
        registerWindowClass("RecordingClass", recordingProc);
    deliveries().clear();
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
    destroyWindow(first);
    destroyWindow(second);
    EXPECT_FALSE(isWindow(first));
    EXPECT_EQ(windowPointer(first), nullptr);
    EXPECT_EQ(defWindowProc(first, 1125, 1, 2), 0);
}

TEST(MessageWindows, PostedMessagesArriveOnlyWhenDispatchedAndInOrder)
{
    const HWND window = recordingWindow();
    ASSERT_TRUE(PostMessage(window, 1125, 3, makeLParam(1, 10054)));
    ASSERT_TRUE(PostMessage(window, 1126, 4, 5));
    EXPECT_TRUE(deliveries().empty());
    int object = 0;
    setWindowPointer(window, &object); // set before dispatch: the messages find it
    processMessages();
    ASSERT_EQ(deliveries().size(), 2u);
    EXPECT_EQ(deliveries()[0].message, 1125u);
    EXPECT_EQ(deliveries()[0].wParam, 3u);
    EXPECT_EQ(lowWord(deliveries()[0].lParam), 1);
    EXPECT_EQ(highWord(deliveries()[0].lParam), 10054);
    EXPECT_EQ(deliveries()[0].pointer, &object);
    EXPECT_EQ(deliveries()[1].message, 1126u);

    // A message whose preparation refuses is dropped; a destroyed window gets nothing.
    deliveries().clear();
    postMessageWith(window, 1125, 0, 0, [] { return false; });
    bool prepared = false;
    postMessageWith(window, 1126, 0, 0, [&] { prepared = true; return true; });
    processMessages();
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_TRUE(prepared);
    deliveries().clear();
    PostMessage(window, 1125, 0, 0);
    destroyWindow(window);
    processMessages();
    EXPECT_TRUE(deliveries().empty());
    EXPECT_FALSE(PostMessage(NoWindow, 1125, 0, 0));
}

TEST(MessageWindows, TimersDeliverMessage275UntilKilled)
{
    const HWND window = recordingWindow();
    ASSERT_TRUE(SetTimer(window, 1, 10));
    EXPECT_TRUE(QTest::qWaitFor([] { return deliveries().size() >= 3; }, 2000));
    for (const Delivery& delivery : deliveries()) {
        EXPECT_EQ(delivery.message, WM_TIMER);
        EXPECT_EQ(delivery.wParam, 1u);
    }
    EXPECT_TRUE(KillTimer(window, 1));
    EXPECT_FALSE(KillTimer(window, 1));
    processMessages();
    deliveries().clear();
    QTest::qWait(60);
    EXPECT_TRUE(deliveries().empty());

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
    while (clock.elapsed() < 200) {
        waitMessages(50);
        ++passes;
    }
    EXPECT_LE(passes, 10);

    // A message posted from another thread ends an unlimited wait at once.
    std::thread poster([window] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PostMessage(window, 1126, 9, 0);
    });
    clock.restart();
    while (deliveries().empty() && clock.elapsed() < 3000)
        waitMessages(3000);
    poster.join();
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].wParam, 9u);
    destroyWindow(window);

    clock.restart();
    Sleep(20);
    EXPECT_GE(clock.elapsed(), 19);
}
