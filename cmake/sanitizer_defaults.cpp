// Linked into the test programs of a sanitizer build, so that a run by hand or by ctest's
// test discovery behaves as the scripted run does; *SAN_OPTIONS in the environment still win.

extern "C" const char* __ubsan_default_options()
{
    // Stop at the first finding, with the stack that led to it.
    return "halt_on_error=1:print_stacktrace=1";
}

extern "C" const char* __tsan_default_options()
{
    return "halt_on_error=1:second_deadlock_stack=1:die_after_fork=0";
}

// Qt is not instrumented, and its mutexes wait on futexes that ThreadSanitizer cannot see:
// a QThread's end-of-run condition, woken on the finished thread and destroyed with the
// QThread after wait(), reads as a race inside Qt; so does the lock that guards the event
// dispatchers' socket notifier tables when two threads register notifiers at once. Nothing of
// ours is suppressed.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:QReadWriteLock::unlock\n";
}
