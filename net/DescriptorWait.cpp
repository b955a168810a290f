// Waiting on a foreign descriptor through the message layer's blocking wait.
#include "net/DescriptorWait.h"

#include "net/compat/messages.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <poll.h>

namespace {

bool ready(int descriptor, bool write)
{
    pollfd watch{descriptor, short(write ? POLLIN | POLLOUT : POLLIN), 0};
    return ::poll(&watch, 1, 0) > 0;
}

} // namespace

DescriptorWait::DescriptorWait(int descriptor)
    : m_descriptor(descriptor)
    , m_readable(std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read))
    , m_writable(std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Write))
{
    // Armed only while a wait blocks: a readable descriptor the library has not read yet
    // would otherwise wake the loop over and over.
    m_readable->setEnabled(false);
    m_writable->setEnabled(false);
}

DescriptorWait::~DescriptorWait() = default;

DescriptorWait::Outcome DescriptorWait::wait(bool write, int maxMilliseconds,
                                             const std::function<bool()>& giveUp)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // Queued calls (Stop) run even while the descriptor is always ready.
        compat::processMessages();
        if (giveUp && giveUp())
            return Outcome::GaveUp;
        // Input counts in both directions: a library that waits to send may first have to
        // read (a window adjustment, a key exchange).
        if (ready(m_descriptor, write))
            return Outcome::Ready;
        int remaining = -1;
        if (maxMilliseconds >= 0) {
            remaining = int(qMax<qint64>(0, maxMilliseconds - clock.elapsed()));
            if (remaining == 0)
                return Outcome::TimedOut;
        }
        m_readable->setEnabled(true);
        m_writable->setEnabled(write);
        compat::waitMessages(remaining);
        m_readable->setEnabled(false);
        m_writable->setEnabled(false);
    }
}

DescriptorWait::Outcome DescriptorWait::pause(int milliseconds, const std::function<bool()>& giveUp)
{
    compat::processMessages();
    if (giveUp && giveUp())
        return Outcome::GaveUp;
    compat::waitMessages(milliseconds);
    compat::processMessages();
    return giveUp && giveUp() ? Outcome::GaveUp : Outcome::TimedOut;
}
