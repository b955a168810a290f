#include "tests/support/WaitFor.h"

#include <QTest>

namespace testsupport {

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

} // namespace testsupport
