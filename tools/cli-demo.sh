#!/bin/sh
# Try kvrctl700-cli without hardware and without root: a private network namespace for the
# program with two adapters, as on a commissioning laptop, and kvrctl700-devsim behind each:
#   kvrsim0  198.18.0.1/16, the default route: a PLC of that subnet, and an HMI panel still at a
#            factory address of another subnet (192.0.2.50), which only broadcasts reach;
#   kvrsim1  198.19.0.1/16: a frequency drive and a servo drive.
# Nothing reaches your real network.
#
#   make build && tools/cli-demo.sh                 a shell inside, with kvrctl700-cli on its PATH
#   tools/cli-demo.sh kvrctl700-cli search          one command
#
# The simulators' reports go to $TMPDIR/kvrctl700-cli-demo/kvrsim0.log and kvrsim1.log.
set -eu

root_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-build}
case $build_dir in /*) ;; *) build_dir=$root_dir/$build_dir ;; esac
for bin in kvrctl700-cli kvrctl700-devsim; do
    if [ ! -x "$build_dir/$bin" ]; then
        echo "cli-demo: $build_dir/$bin is missing; build first: make build" >&2
        exit 1
    fi
done

if [ "${KVR_CLI_DEMO_INNER:-}" != 1 ]; then
    export KVR_CLI_DEMO_INNER=1
    exec "$root_dir/tools/isolated.sh" --loopback-only "$0" "$@"
fi

logs=${TMPDIR:-/tmp}/kvrctl700-cli-demo
mkdir -p "$logs"
device() { printf 'type=%s,name=%s,mac=%s,ip=%s,mask=%s,gateway=%s' "$@"; }

# One simulator in a namespace of its own, joined to this one by cable N (198.<18+N>.0.0/16).
plant() {
    n=$1
    shift
    net=198.$((18 + n))
    unshare --net -- "$build_dir/kvrctl700-devsim" "$@" >"$logs/kvrsim$n.log" 2>&1 &
    pid=$!
    until grep -q "listening on" "$logs/kvrsim$n.log" 2>/dev/null; do sleep 0.1; done
    ip link add "kvrsim$n" type veth peer name "kvrdev$n" netns "$pid"
    ip addr add "$net.0.1/16" dev "kvrsim$n"
    ip link set "kvrsim$n" up
    nsenter --target "$pid" --net sh -c "ip link set lo up; ip link set kvrdev$n up;
        ip addr add $net.0.2/32 dev kvrdev$n; ip route add $net.0.1/32 dev kvrdev$n;
        ip route add local $net.0.0/16 dev lo table main"
    pids="${pids:-} $pid"
}

plant 0 --device "$(device PLC LINE1-PLC 02:4B:56:10:00:01 198.18.0.10 255.255.0.0 198.18.0.254),version=1.3.2.0,points=0.32.0.24" \
        --device "$(device HMI FACTORY-HMI 02:4B:56:20:00:09 192.0.2.50 255.255.255.0 192.0.2.1),version=2.0.4"
plant 1 --device "$(device VFD LINE2-VFD 02:4B:56:40:00:02 198.19.0.20 255.255.0.0 198.19.0.254)" \
        --device "$(device SERVO LINE2-AXIS1 02:4B:56:30:00:03 198.19.0.21 255.255.0.0 198.19.0.254),version=1.4.0"
ip route add default dev kvrsim0
trap 'kill $pids 2>/dev/null; wait' EXIT
# A veth end passes nothing until the kernel has switched it on, a little after "link set up".
until ip link show kvrsim0 | grep -q "state UP" && ip link show kvrsim1 | grep -q "state UP"; do sleep 0.1; done

export PATH="$build_dir:$PATH"
if [ $# -eq 0 ]; then
    echo "cli-demo: try kvrctl700-cli search; exit leaves (reports in $logs)" >&2
    "${SHELL:-/bin/sh}" || true
else
    "$@"
fi
