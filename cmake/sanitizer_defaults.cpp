// Linked into the test programs of a sanitizer build, so that a run by hand or by ctest's
// test discovery behaves as the scripted run does; UBSAN_OPTIONS in the environment still wins.

extern "C" const char* __ubsan_default_options()
{
    // Stop at the first finding, with the stack that led to it.
    return "halt_on_error=1:print_stacktrace=1";
}
