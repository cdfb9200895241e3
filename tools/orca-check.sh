#!/bin/sh
# What the Orca screen reader says of kvrctl700, for docs/accessibility.md. The window runs on a
# private X display (Xvfb) with a private session and accessibility bus, beside the simulated
# devices of tools/cli-demo.sh (so without root, and nothing reaches a real network). Orca runs
# with its debug file; tools/orca-drive.py works the window through the accessibility bus and the
# keyboard as a user would. Prints every line Orca spoke ("SPEECH OUTPUT"), in order.
#
#   make build && tools/orca-check.sh
#
# Needs orca, at-spi2-core, python3-pyatspi, xvfb and dbus (dbus-run-session). The whole debug
# file, the program's log and the driver's steps stay in $TMPDIR/kvrctl700-orca.
set -eu

root_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-build}
case $build_dir in /*) ;; *) build_dir=$root_dir/$build_dir ;; esac
out=${TMPDIR:-/tmp}/kvrctl700-orca

case ${KVR_ORCA_STAGE:-} in
"")
    for tool in orca Xvfb dbus-run-session xwininfo; do
        command -v "$tool" >/dev/null || { echo "orca-check: $tool is missing" >&2; exit 1; }
    done
    rm -rf "$out"
    mkdir -p "$out"
    export KVR_ORCA_STAGE=namespace BUILD_DIR="$build_dir"
    exec "$root_dir/tools/cli-demo.sh" "$0" "$@"
    ;;
namespace)
    # Inside the demo's network namespace: a display of our own, then a session bus of our own.
    display=:$((70 + $$ % 20))
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null || true' EXIT
    export DISPLAY=$display
    until xwininfo -root >/dev/null 2>&1; do sleep 0.1; done
    KVR_ORCA_STAGE=session dbus-run-session -- "$0" "$@"
    ;;
session)
    # Qt talks to the accessibility bus only when a screen reader says it is there, or when asked.
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$out/at-spi.log" 2>&1 &
    # No speech synthesizer or braille display is needed: Orca logs what it would say all the same.
    orca --replace --disable speech --disable braille --user-prefs "$out/orca-prefs" --debug-file "$out/orca.debug" >"$out/orca.log" 2>&1 &
    orca=$!
    # Orca writes its debug file in blocks: wait until it has said it is ready on the bus.
    until /usr/bin/python3 "$root_dir/tools/orca-drive.py" --orca-ready 2>/dev/null; do sleep 0.5; done
    "$build_dir/kvrctl700" >"$out/kvrctl700.log" 2>&1 &
    app=$!
    /usr/bin/python3 "$root_dir/tools/orca-drive.py" "$@" | tee "$out/drive.log" >&2 || true
    # Orca flushes its debug file as it shuts down.
    kill $app $orca 2>/dev/null || true
    wait $app $orca 2>/dev/null || true
    grep -o "SPEECH OUTPUT: .*" "$out/orca.debug" | sed 's/ ACSS.*//; s/ voice=[a-z]*//'
    ;;
esac
