# Plant segments on one machine, for playbook tests and measurements, with nothing reaching a real
# network. Each segment is two private network namespaces joined by a veth cable: the segment's
# host (198.18.0.1/16, the default route), where Ansible runs the modules, and kvrctl700-devsim
# playing the segment's devices.
#
# Ansible reaches such a host through settings it already has: the local connection, and as the
# Python interpreter a small script that enters the host's namespace (nsenter) and starts Python
# there. Every module of a host therefore runs on its segment, hosts in parallel as on a plant.
# The namespaces are unnamed (unshare, held by a process each), since `ip netns add` needs to
# mount /run/netns, which root of a user namespace may not: this runs inside tools/isolated.sh.
# They go away with their processes (segments_stop, called on exit).
#
# Source it with $work (a scratch folder) and $build_dir (kvrctl700-cli, kvrctl700-devsim) set.

export PATH=/usr/local/sbin:/usr/sbin:/sbin:$PATH
segment_pids=()
segment_names=()

# shellcheck source=../../tests/support/await.sh
. "$tests/../../tests/support/await.sh"

# segment_devices SEGMENT COUNT HOST: a simulator's device file with COUNT devices of segment
# SEGMENT (1-99), MACs 02:4B:56:SS:00:NN and names SEGSS-TYPE-NN, at 198.18.HOST.N/16.
segment_devices()
{
    local segment=$1 count=$2 host=$3 types=(PLC HMI SERVO VFD) n
    printf '{"devices": ['
    for n in $(seq "$count"); do
        [ "$n" -gt 1 ] && printf ','
        printf '\n {"type": "%s", "name": "SEG%02d-%s-%02d", "mac": "02:4B:56:%02d:00:%02X", "ip": "198.18.%d.%d", ' \
            "${types[$(((n - 1) % 4))]}" "$segment" "${types[$(((n - 1) % 4))]}" "$n" "$segment" "$n" "$host" "$n"
        printf '"mask": "255.255.0.0", "gateway": "198.18.0.254", "version": "1.3.2.0"}'
    done
    printf '\n]}\n'
}

# segment_plan SEGMENT COUNT HOST: a plan that moves those devices to 198.18.HOST.N/16.
segment_plan()
{
    local n
    echo "mac,ip,mask,gateway"
    for n in $(seq "$2"); do printf '02:4B:56:%02d:00:%02X,198.18.%d.%d,255.255.0.0,198.18.0.254\n' "$1" "$n" "$3" "$n"; done
}

# segment_start NAME SIMULATOR-OPTIONS...: a host namespace and a simulator namespace for segment
# NAME, cabled, and the interpreter $work/python-NAME that runs Python on that host.
segment_start()
{
    local name=$1 host_pid sim_pid cable
    shift
    cable=kvr${name}
    unshare --net -- sleep infinity &
    host_pid=$!
    segment_pids+=("$host_pid")
    unshare --net -- "$build_dir/kvrctl700-devsim" "$@" >"$work/devsim-$name.log" 2>&1 &
    sim_pid=$!
    segment_pids+=("$sim_pid")
    segment_names+=("$name")
    await "$work/devsim-$name.log" "listening on"
    ip link add "$cable" type veth peer name "${cable}d"
    ip link set "$cable" netns "$host_pid"
    ip link set "${cable}d" netns "$sim_pid"
    nsenter --target "$host_pid" --net sh -c "ip link set lo up && ip addr add 198.18.0.1/16 dev $cable &&
        ip link set $cable up && ip route add default dev $cable" || fail "wiring the host of $name"
    # The simulator answers for every address of the subnet, as its devices would.
    nsenter --target "$sim_pid" --net sh -c "ip link set lo up && ip link set ${cable}d up &&
        ip addr add 198.18.0.2/32 dev ${cable}d && ip route add 198.18.0.1/32 dev ${cable}d &&
        ip route add local 198.18.0.0/16 dev lo table main" || fail "wiring the simulator of $name"
    # A veth end drops what it is given until the kernel has switched it on, a little after "up".
    for _ in $(seq 100); do
        nsenter --target "$host_pid" --net ip -o link show "$cable" | grep -q 'state UP' &&
            nsenter --target "$sim_pid" --net ip -o link show "${cable}d" | grep -q 'state UP' && break
        sleep 0.1
    done
    nsenter --target "$host_pid" --net ip -o link show "$cable" | grep -q 'state UP' ||
        fail "the cable of $name did not come up"
    printf '#!/bin/sh\nexec nsenter --target %d --net /usr/bin/python3 "$@"\n' "$host_pid" >"$work/python-$name"
    chmod +x "$work/python-$name"
}

# An inventory of the segments started, in the group "segments".
segments_inventory()
{
    local name
    echo "[segments]"
    for name in "${segment_names[@]}"; do
        echo "$name ansible_connection=local ansible_python_interpreter=$work/python-$name"
    done
}

segments_stop()
{
    local pid
    for pid in "${segment_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    segment_pids=() segment_names=()
}

# Ansible as on a user's machine, but with its settings, scratch files and collections pinned here:
# this tree's collection only, no configuration file or installed copy of it found by chance.
ansible_environment()
{
    : >"$work/ansible.cfg"
    export ANSIBLE_CONFIG=$work/ansible.cfg
    export ANSIBLE_COLLECTIONS_PATH=$build_dir/ansible-collections ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false
    export ANSIBLE_LOCAL_TEMP=$work/ansible-local ANSIBLE_REMOTE_TEMP=$work/ansible-remote
    export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=false ANSIBLE_HOST_KEY_CHECKING=false
    export ANSIBLE_FORKS=10
    # Ansible needs a UTF-8 locale; C.UTF-8 also keeps numbers with a decimal point.
    export LC_ALL=C.UTF-8
    export PATH=$build_dir:$PATH
}
