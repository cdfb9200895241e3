#!/bin/sh
# Runs the suite of a sanitizer build (make sanitize) the way make test runs it, and fails when any
# program wrote a sanitizer report, also one that a test started and whose output nobody reads
# (the device simulator): every report goes to a file under BUILD_DIR/sanitizer-reports.
#
# tools/sanitize-test.sh BUILD_DIR [JOBS]
set -eu
cd "$(dirname "$0")/.."
build_dir=$1
jobs=${2:-2}
reports="$(pwd)/$build_dir/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"

common="log_path=$reports/report:print_stacktrace=1"
export ASAN_OPTIONS="$common:detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="$common:suppressions=$(pwd)/tools/sanitizers.supp"
export UBSAN_OPTIONS="$common:halt_on_error=1"

status=0
tools/isolated.sh ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" || status=$?

if [ -n "$(ls -A "$reports")" ]; then
    for report in "$reports"/*; do
        echo "==== $report" >&2
        cat "$report" >&2
    done
    echo "sanitize-test: sanitizer reports above (kept in $reports)" >&2
    exit 1
fi
exit "$status"
