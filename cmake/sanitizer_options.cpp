// Compiled into every executable of a sanitizer build, so that the programs
// and the tests behave the same however they are started: every report ends
// the process with a status no program uses, leaks count, and leaks inside
// the window toolkit's libraries are suppressed by the commented file.
extern "C" {

const char* __asan_default_options()
{
    return "detect_leaks=1:exitcode=86";
}

const char* __lsan_default_options()
{
    return "suppressions=" SUITE_LSAN_SUPPRESSIONS ":print_suppressions=0";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}
}
