#!/usr/bin/env bash
# Builds the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (clang, build-sanitize/) and
# runs every test, the window tests on the offscreen platform; non-zero on any failure or sanitizer report.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
orvia_install
orvia_configure_sanitized
cmake --build "$ORVIA_SANITIZE_BUILD" -j"$(nproc)"
cd "$ORVIA_SANITIZE_BUILD"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$ORVIA_ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
