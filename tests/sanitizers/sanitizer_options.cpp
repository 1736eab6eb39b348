// Options of the sanitizer builds, built into every test program (only in those builds), so that ctest, a
// debugger and a shell run them alike: leaks and UBSan reports fail the run, and the suppressions name
// system libraries only.
extern "C" const char *__asan_default_options() { return "detect_leaks=1:strict_string_checks=1"; }
extern "C" const char *__lsan_default_options() {
  return "suppressions=" BZ_SANITIZER_DIR "/lsan.supp:print_suppressions=0";
}
extern "C" const char *__tsan_default_options() {
  return "suppressions=" BZ_SANITIZER_DIR "/tsan.supp:second_deadlock_stack=1:halt_on_error=1:report_signal_unsafe=0";
}
extern "C" const char *__ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
