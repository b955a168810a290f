// Waiting for a condition in a way GoogleTest sees: QTRY_* report through QTest's own failure
// mechanism, so under GoogleTest a timed-out QTRY merely returns and the test passes.
#pragma once

#include <functional>

namespace testsupport {

// Dispatches events until `condition` holds (true) or `timeoutMs` has passed (false).
// Use it inside an assertion: ASSERT_TRUE(waitFor([&] { return ...; })) << "what it waited for";
[[nodiscard]] bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

} // namespace testsupport
