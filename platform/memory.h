// What the process holds in memory, for the program's own measurements.
#pragma once

#include <QtGlobal>

namespace platform {

// The resident set of this process in KiB (what it holds in RAM now); -1 when unknown.
qint64 residentMemoryKiB();

} // namespace platform
