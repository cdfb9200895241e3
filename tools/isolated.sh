#!/bin/sh
# Runs a command inside a private network namespace that no datagram can leave.
#
# Inside: loopback, plus a veth pair kvr0/kvr1 (198.18.0.1/24, a range reserved for network tests)
# carrying the default route, so that a broadcast to 255.255.255.255 has somewhere to go and is
# delivered back to the sockets of this namespace. 192.168.1.2, the address of the debug sample row,
# sits on loopback so that frames sent to it stay here too.
#
# tools/isolated.sh --loopback-only CMD... leaves out the pair and the sample address, for a command
# that wires its own network (the end-to-end tests join a simulator's namespace to theirs).
set -eu

if [ "${KVR_ISOLATED_INNER:-}" = 1 ]; then
    ip link set lo up
    if [ "${KVR_ISOLATED_LOOPBACK_ONLY:-}" != 1 ]; then
        ip link add kvr0 type veth peer name kvr1
        ip addr add 198.18.0.1/24 dev kvr0
        ip link set kvr0 up
        ip link set kvr1 up
        ip route add default dev kvr0
        ip addr add 192.168.1.2/32 dev lo
    fi
    unset KVR_ISOLATED_INNER KVR_ISOLATED_LOOPBACK_ONLY
    exec "$@"
fi

if [ "${1:-}" = --loopback-only ]; then
    export KVR_ISOLATED_LOOPBACK_ONLY=1
    shift
fi
export KVR_ISOLATED_INNER=1
if unshare --net --map-root-user true 2>/dev/null; then
    exec unshare --net --map-root-user "$0" "$@"
elif [ "$(id -u)" -eq 0 ]; then
    exec unshare --net "$0" "$@"
fi
echo "isolated.sh: cannot create a private network namespace (unprivileged user namespaces disabled?);" >&2
echo "isolated.sh: run as root, or enable them: sysctl kernel.unprivileged_userns_clone=1" >&2
exit 1
