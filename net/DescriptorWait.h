// A wait for a descriptor that another library reads and writes, on this thread's loop.
#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

class QSocketNotifier;

// Waits until a connected descriptor can be read (or written) while the thread's event loop
// keeps dispatching, as the socket component's own waits do, so that queued calls (Stop, a
// progress timer) run during it. It never reads or writes: the library that owns the
// descriptor does, and nothing here competes with it for the data.
class DescriptorWait {
public:
    enum class Outcome { Ready, TimedOut, GaveUp };

    explicit DescriptorWait(int descriptor);
    ~DescriptorWait();
    Q_DISABLE_COPY_MOVE(DescriptorWait)

    // Dispatches what is waiting first, so a wait of 0 ms is a point where a stop can land.
    // Ready once the descriptor is readable, or writable with `write`, or has failed or
    // ended; TimedOut after `maxMilliseconds` (negative: no limit); GaveUp as soon as
    // `giveUp` says so, asked before blocking and after every dispatch.
    Outcome wait(bool write, int maxMilliseconds, const std::function<bool()>& giveUp);

    // Lets up to `milliseconds` pass while dispatching, whatever the descriptor does: for
    // data that has come but is not enough yet (the start of a line). TimedOut or GaveUp.
    Outcome pause(int milliseconds, const std::function<bool()>& giveUp);

private:
    int m_descriptor;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
};
