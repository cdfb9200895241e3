#!/bin/sh
# make demo: try kvrctl700 without hardware. The tool runs on your desktop inside one network
# namespace, kvrctl700-devsim plays a handful of devices inside another, and a virtual cable (a veth
# pair) joins the two. Nothing touches your real network: only the namespaces' own addresses in
# 198.18.0.0/16, a range set aside for network tests, are ever used.
#
#   make build && sudo tools/demo.sh      as a user with sudo rights
#   make demo                             as root (builds first; sudo is not needed)
#   tools/demo.sh --generate 40           extra arguments go to the simulator (see its --help)
#   tools/demo.sh --traces                also show the tool's own frame traces
#
# The terminal shows what the simulated devices do; the tool's trace of every frame it sends and
# receives would bury those lines, so it is silenced unless --traces is given (its warnings stay).
#
# Needs root for the namespaces. Started through sudo, the window runs as the user who called sudo.
# Everything is torn down when the window closes, and on Ctrl-C.
set -eu

root_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-build}
case $build_dir in /*) ;; *) build_dir=$root_dir/$build_dir ;; esac
tool_bin=$build_dir/kvrctl700
sim_bin=$build_dir/kvrctl700-devsim

tool_ns=kvrdemo-tool
plant_ns=kvrdemo-plant
# The devices may have any address of 198.18.0.0/16 (--generate uses 198.18.1.x and on): both
# ends of the cable use the whole range.
tool_ip=198.18.0.1
plant_ip=198.18.0.2
device_net=198.18.0.0/16

say() { printf 'demo: %s\n' "$*" >&2; }

# --traces is ours; every other argument goes to the simulator, in its order.
logging_rules=default.debug=false
for arg do
    shift
    if [ "$arg" = --traces ]; then
        logging_rules=${QT_LOGGING_RULES:-}
    else
        set -- "$@" "$arg"
    fi
done

if [ "$(id -u)" -ne 0 ]; then
    say "needs root to create the network namespaces: run it as root (make demo),"
    say "or through sudo: make build && sudo tools/demo.sh"
    exit 1
fi
for bin in "$tool_bin" "$sim_bin"; do
    if [ ! -x "$bin" ]; then
        say "$bin is missing; build first: make build"
        exit 1
    fi
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    say "no DISPLAY or WAYLAND_DISPLAY reached this script; try: sudo -E tools/demo.sh"
    exit 1
fi

sim_pid=
cleanup() {
    trap - EXIT INT TERM HUP
    if [ -n "$sim_pid" ]; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    # Deleting a namespace deletes its end of the cable, and with it the other end.
    ip netns del "$tool_ns" 2>/dev/null || true
    ip netns del "$plant_ns" 2>/dev/null || true
    say "network namespaces removed"
}

for ns in "$tool_ns" "$plant_ns"; do
    if ip netns list | grep -q "^$ns\\b"; then
        say "removing $ns, left over from an earlier run"
        ip netns del "$ns"
    fi
done
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

ip netns add "$tool_ns"
ip netns add "$plant_ns"
ip link add kvrdemo0 netns "$tool_ns" type veth peer name kvrdemo1 netns "$plant_ns"

# The tool's side: one address in the devices' range, and a default route for its search to
# 255.255.255.255.
ip -n "$tool_ns" link set lo up
ip -n "$tool_ns" addr add "$tool_ip/16" dev kvrdemo0
ip -n "$tool_ns" link set kvrdemo0 up
ip -n "$tool_ns" route add default dev kvrdemo0
# Lets the window bind port 102 without root, in this namespace only.
ip netns exec "$tool_ns" sysctl -q -w net.ipv4.ip_unprivileged_port_start=0

# The plant's side: every address of the subnet but the tool's is local, so that a device stays
# reachable at whatever address the tool gives it.
ip -n "$plant_ns" link set lo up
ip -n "$plant_ns" addr add "$plant_ip/32" dev kvrdemo1
ip -n "$plant_ns" link set kvrdemo1 up
ip -n "$plant_ns" route add "$tool_ip/32" dev kvrdemo1
ip -n "$plant_ns" route add local "$device_net" dev lo table main

say "the simulated devices report below; in the window:"
say "  1. press the refresh button (刷新子设备列表): the devices are listed"
say "  2. double-click a device: the simulator reports its LEDs flashing"
say "  3. change the IP address, confirm (确认修改): the device restarts with it"
say "  4. after the restart the status bar confirms the new address, and the device's row shows it"
say "close the window or press Ctrl-C to end the demo"
ip netns exec "$plant_ns" "$sim_bin" "$@" &
sim_pid=$!

user_id=${SUDO_UID:-0}
if [ "$user_id" -eq 0 ]; then
    ip netns exec "$tool_ns" env QT_LOGGING_RULES="$logging_rules" "$tool_bin" || true
else
    # Back to the desktop user, with what the window needs to reach the display.
    user_home=$(getent passwd "$user_id" | cut -d: -f6)
    runtime_dir=/run/user/$user_id
    [ -d "$runtime_dir" ] || runtime_dir=
    xauthority=${XAUTHORITY:-$user_home/.Xauthority}
    [ -r "$xauthority" ] || xauthority=
    # The simulator's arguments are spent: the positional parameters now build the command line.
    set -- env HOME="$user_home" USER="${SUDO_USER:-}" LOGNAME="${SUDO_USER:-}" QT_LOGGING_RULES="$logging_rules"
    [ -n "${DISPLAY:-}" ] && set -- "$@" DISPLAY="$DISPLAY"
    [ -n "$xauthority" ] && set -- "$@" XAUTHORITY="$xauthority"
    [ -n "${WAYLAND_DISPLAY:-}" ] && set -- "$@" WAYLAND_DISPLAY="$WAYLAND_DISPLAY"
    [ -n "$runtime_dir" ] && set -- "$@" XDG_RUNTIME_DIR="$runtime_dir"
    [ -n "${QT_QPA_PLATFORM:-}" ] && set -- "$@" QT_QPA_PLATFORM="$QT_QPA_PLATFORM"
    ip netns exec "$tool_ns" setpriv --reuid="$user_id" --regid="${SUDO_GID:-$user_id}" --init-groups \
        "$@" "$tool_bin" || true
fi
