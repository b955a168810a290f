// The session's stop: presses, the window closing, a file in transfer, and a new connection.
#include "net/StopToken.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// One step on the token: p press, w first press only, c cut by the user, x window closing,
// r reset, t a file's transfer begins, e it ends.
struct StopCase {
    const char* steps;
    StopState state;
    StopCause cause;
    bool waitsStopped;
    bool inTransfer;
};

void PrintTo(const StopCase& row, std::ostream* out)
{
    *out << '"' << row.steps << '"';
}

class StopTokenSteps : public testing::TestWithParam<StopCase> {};

TEST_P(StopTokenSteps, EndInTheStateTheyLeadTo)
{
    const StopCase& row = GetParam();
    StopToken token;
    std::vector<std::unique_ptr<StopToken::Transfer>> transfers;
    for (const char step : std::string(row.steps)) {
        switch (step) {
        case 'p': token.press(); break;
        case 'w': token.stopWaiting(); break;
        case 'c': token.cutNow(); break;
        case 'x': token.cutNow(StopCause::WindowClosing); break;
        case 'r': token.reset(); break;
        case 't': transfers.push_back(std::make_unique<StopToken::Transfer>(token)); break;
        case 'e': transfers.pop_back(); break;
        }
    }
    EXPECT_EQ(token.state(), row.state);
    EXPECT_EQ(token.stopped(), row.state != StopState::None);
    EXPECT_EQ(token.cut(), row.state == StopState::Cut);
    EXPECT_EQ(token.cause(), row.cause);
    EXPECT_EQ(token.waitsStopped(), row.waitsStopped);
    EXPECT_EQ(token.inTransfer(), row.inTransfer);
}

constexpr auto none = StopState::None;
constexpr auto waiting = StopState::StopWaiting;
constexpr auto cut = StopState::Cut;
constexpr auto user = StopCause::User;
constexpr auto closing = StopCause::WindowClosing;

INSTANTIATE_TEST_SUITE_P(
    Rows, StopTokenSteps,
    testing::Values(
        StopCase{"", none, user, false, false}, StopCase{"p", waiting, user, true, false},
        StopCase{"pp", cut, user, true, false}, StopCase{"ppp", cut, user, true, false},
        StopCase{"w", waiting, user, true, false},
        // The first press only: it never undoes a cut.
        StopCase{"cw", cut, user, true, false}, StopCase{"pw", waiting, user, true, false},
        // A file in transfer keeps the waits going until a cut or its end.
        StopCase{"tp", waiting, user, false, true}, StopCase{"tpe", waiting, user, true, false},
        StopCase{"tpp", cut, user, true, true}, StopCase{"ttpe", waiting, user, false, true},
        StopCase{"tx", cut, closing, true, true},
        // The window closing after a press says so; a press after it changes nothing.
        StopCase{"px", cut, closing, true, false}, StopCase{"xp", cut, closing, true, false},
        // A new connection starts unstopped; a file in transfer stays so.
        StopCase{"xr", none, user, false, false}, StopCase{"tpr", none, user, false, true},
        StopCase{"tppre", none, user, false, false}));

TEST(StopToken, PressesFromAnotherThreadAreEachCountedOnce)
{
    // The window's thread may press while the session's reads: two presses cut, whoever won.
    StopToken token;
    std::vector<StopState> seen(2);
    std::thread first([&] { seen[0] = token.press(); });
    std::thread second([&] { seen[1] = token.press(); });
    first.join();
    second.join();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), StopState::StopWaiting), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), StopState::Cut), 1);
}

} // namespace
