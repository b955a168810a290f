// How far the user (or the closing window) has stopped a session: one state that every
// layer of it reads, from the socket's waits to the send run.
#pragma once

#include <atomic>

// None: nothing stopped. StopWaiting: every wait for the server ends at once, but a file in
// transfer goes on to its end (its final reply included). Cut: that file is cut too.
enum class StopState { None, StopWaiting, Cut };
// Who stopped: the user's Stop, or the window closing (which cuts at once and says so).
enum class StopCause { User, WindowClosing };

// Set on the session's thread or another one; the state only moves forward until reset().
class StopToken {
public:
    StopToken() = default;
    StopToken(const StopToken&) = delete;
    StopToken& operator=(const StopToken&) = delete;

    StopState state() const { return m_state.load(); }
    bool stopped() const { return state() != StopState::None; }
    bool cut() const { return state() == StopState::Cut; }
    StopCause cause() const { return m_cause.load(); }
    // One press of Stop: the first stops the waits, the second cuts; returns the new state.
    StopState press();
    // The first press only; nothing once stopped.
    void stopWaiting();
    // The second press, or the window closing: everything ends at once.
    void cutNow(StopCause cause = StopCause::User);
    // A new connection starts unstopped.
    void reset();

    // A wait for the server ends now: a stop came, and no file is in transfer to finish.
    bool waitsStopped() const;
    // From a file's first byte to its final reply; a first press lets it end.
    bool inTransfer() const { return m_transfers.load() > 0; }
    class Transfer {
    public:
        explicit Transfer(StopToken& token);
        ~Transfer();
        Transfer(const Transfer&) = delete;
        Transfer& operator=(const Transfer&) = delete;

    private:
        StopToken& m_token;
    };

private:
    std::atomic<StopState> m_state{StopState::None};
    std::atomic<StopCause> m_cause{StopCause::User};
    std::atomic<int> m_transfers{0};
};
