// CPU time of the benchmark tool's own process.
#include "bench/common/ProcessTimes.h"

#include <sys/resource.h>

namespace bench {

double cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace bench
