#!/usr/bin/env bash
# Builds the suite under AddressSanitizer and UndefinedBehaviorSanitizer (clang, build-sanitize/) and runs
# every test in it; non-zero on any failure or sanitizer report.
#   bash scripts/sanitize.sh          the whole suite, the window tests on the offscreen platform
#   bash scripts/sanitize.sh --core   without the Qt layer (what continuous integration runs): the core
#                                     library's test programs, the fuzz harnesses and the developer tools;
#                                     the windows, the decoder and orvia-cli with their tests are left out,
#                                     since Qt itself is not instrumented and building them instrumented
#                                     would cost more time than it finds
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
app=ON
[ "${1:-}" = "--core" ] && app=OFF
orvia_install
orvia_configure_sanitized -DORVIA_BUILD_APP="$app"
cmake --build "$ORVIA_SANITIZE_BUILD" -j"$(nproc)"
cd "$ORVIA_SANITIZE_BUILD"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$ORVIA_ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The long statistical runs (ctest label long: the pattern solver's bench sample, the command's 48-list run and
# the random-marks refusals, every search run to its end) stay in the normal suite; instrumented they take
# minutes each, while the solver's other tests run the same code.
skip=()
[ "$app" = OFF ] && skip=(-LE long)
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "${skip[@]}"
