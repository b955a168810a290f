// --benchmark-startup: how long the main window takes to show and what it holds then.
#pragma once

class QWidget;

namespace startup {

// Whether the command line asks for the measurement.
bool benchmarkRequested(int argc, char** argv);

// Starts the clock; call first thing in main().
void markStart();

// Once `window` has painted for the first time, prints one line of key=value fields
// (first_paint_ms since markStart(), clock_ns: the monotonic clock then, rss_kib) to
// standard output and quits the application.
void reportFirstPaint(QWidget& window);

} // namespace startup
