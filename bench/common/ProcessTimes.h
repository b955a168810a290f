// What the benchmark tools measure of their own process.
#pragma once

namespace bench {

// User plus system CPU time of this process so far, in milliseconds.
double cpuMilliseconds();

} // namespace bench
