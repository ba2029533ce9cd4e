# The run-time options of the sanitizer builds, shared by scripts/sanitize-check.sh and
# scripts/repeat-tests.sh. Sourced; sanitizer_env_for BUILD exports the options that the
# build folder BUILD needs (nothing for a build without sanitizers).
# Library-internal reports are suppressed by the files in tests/sanitizers, each entry with
# its reason; nothing of ours is suppressed.
sanitizer_suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/sanitizers" && pwd)

sanitizer_env_for() {
  local sanitizers
  sanitizers=$(sed -n 's/^HALDENMOOR_SANITIZE:STRING=//p' "$1/CMakeCache.txt" 2>/dev/null)
  case $sanitizers in
    *address*)
      export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
      export LSAN_OPTIONS="suppressions=$sanitizer_suppressions/lsan.supp:print_suppressions=0"
      export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$sanitizer_suppressions/ubsan.supp"
      ;;
    *thread*)
      # NOTE: the first report ends a program with code 66: the layer ends the process with
      # _exit, which skips the tool's own exit code for reports.
      export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$sanitizer_suppressions/tsan.supp"
      ;;
  esac
}
