#!/bin/bash
# The collection under a real ansible-playbook, against three plant segments at once, each with its
# own host and simulated devices (tests/segments.sh). It reads what a user reads: Ansible's task
# lines, diffs and recap; the simulators' reports say what reached the devices.
# Runs inside tools/isolated.sh --loopback-only (make test).
#
#   ansible/tests/playbooks.sh BUILD_DIR
set -eu

build_dir=$(cd "$1" && pwd)
tests=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kvr-ansible.XXXXXX")
# shellcheck source=segments.sh
. "$tests/segments.sh"
trap 'segments_stop; rm -rf "$work"' EXIT
ansible_environment

# Three segments of four devices at 198.18.1.N; every plan moves them to 198.18.2.N.
for s in 1 2 3; do
    segment_devices "$s" 4 1 >"$work/devices-seg$s.json"
    segment_start "seg$s" --devices "$work/devices-seg$s.json" --restart-ms 300
done
segments_inventory >"$work/inventory"
mac() { printf '02:4B:56:%02d:00:%02X' "$1" "$2"; }
# statuses S STATUS ROWS: "MAC=STATUS" of the first ROWS devices of segment S, as the task prints them.
statuses()
{
    local n line=
    for n in $(seq "$3"); do line+="${line:+ }$(mac "$1" "$n")=$2"; done
    echo "$line"
}

# seg1 has its plan as a file on the host; seg2 and seg3 inline, in their host variables.
mkdir -p "$work/host_vars"
segment_plan 1 4 2 >"$work/plan-seg1.csv"
# write_host_vars S GATEWAY-OF-1 [IP-OF-1]: segment S's inline plan, its first device given these.
write_host_vars()
{
    local s=$1 n ip gateway
    {
        echo "restart_wait_ms: 300"
        echo "plan_devices:"
        for n in 1 2 3 4; do
            ip=198.18.2.$n gateway=198.18.0.254
            [ "$n" -eq 1 ] && ip=${3:-$ip} gateway=$2
            echo "  - {mac: \"$(mac "$s" $n)\", ip: $ip, mask: 255.255.0.0, gateway: $gateway}"
        done
    } >"$work/host_vars/seg$s.yml"
}
printf 'restart_wait_ms: 300\nplan_file: %s\n' "$work/plan-seg1.csv" >"$work/host_vars/seg1.yml"
write_host_vars 2 198.18.0.254
write_host_vars 3 198.18.0.254

run=0
# playbook NAME|PATH ansible-playbook-options...: runs it (NAME from playbooks/), its output in
# $work/run-N.log ($log).
playbook()
{
    local book=$1
    shift
    [[ "$book" == /* ]] || book=$tests/playbooks/$book
    run=$((run + 1))
    log=$work/run-$run.log
    for s in 1 2 3; do wc -l <"$work/devsim-seg$s.log" >"$work/mark-seg$s"; done
    echo "== ansible-playbook $book $*"
    ansible-playbook -i "$work/inventory" "$book" "$@" >"$log" 2>&1 || true
    cat "$log"
}

# expect_recap HOST "ok=2 changed=1 unreachable=0 failed=0": the recap's line for HOST.
expect_recap()
{
    local line
    line=$(grep -E "^$1 +: " "$log" | tr -s ' ') || fail "no recap line for $1"
    [[ "$line" == *": $2 "* ]] || fail "recap of $1: \"$line\", expected \"$2\""
}

expect_output() { grep -qF -- "$1" "$log" || fail "run $run: no \"$1\" in Ansible's output"; }

# Lines the simulator of a segment printed during the last run that hold a text.
simulator_since_run() { tail -n +"$(($(cat "$work/mark-$1") + 1))" "$work/devsim-$1.log" | grep -c -- "$2" || true; }

# each_segment RECAP STATUS ROWS PATTERN LINES WHY: for every segment, its recap line, its first ROWS
# devices ending STATUS, and LINES lines of its simulator in the last run holding PATTERN (else WHY).
each_segment()
{
    local s
    for s in 1 2 3; do
        expect_recap "seg$s" "$1"
        expect_output "$(statuses "$s" "$2" "$3")"
        [ "$(simulator_since_run "seg$s" "$4")" = "$5" ] || fail "seg$s: $6"
    done
}

echo "== device_info finds every device of every segment, with the adapter it answered on; identify flashes one"
playbook device_info.yml
for s in 1 2 3; do
    expect_recap "seg$s" "ok=3 changed=0 unreachable=0 failed=0"
    for n in 1 2 3 4; do expect_output "$(mac $s $n)@kvrseg$s"; done
    [ "$(simulator_since_run "seg$s" "led .* flashing")" = 1 ] && [ "$(simulator_since_run "seg$s" "led .* off$")" = 1 ] ||
        fail "seg$s: no device flashed and was told off"
done

echo "== check mode sends nothing, says what would change, and diff mode shows before and after"
playbook address_plan.yml --check --diff
each_segment "ok=2 changed=1 unreachable=0 failed=0" dry-run 4 "write " 0 "check mode sent a write"
expect_output "-ip: 198.18.1.3"
expect_output "+ip: 198.18.2.3"

echo "== the first run re-addresses every device and verifies it"
playbook address_plan.yml --diff
each_segment "ok=2 changed=1 unreachable=0 failed=0" verified 4 "write .* accepted" 4 "not every device took its write"
expect_output "+ip: 198.18.2.4"

echo "== the second run finds nothing to do"
playbook address_plan.yml
each_segment "ok=2 changed=0 unreachable=0 failed=0" already-correct 3 "write " 0 "the second run wrote to it"

echo "== a plan the checks refuse fails its host and sends nothing; a device that refuses fails its host"
# seg2: a gateway outside the subnet. seg3: a device refuses a gateway of 0.0.0.0 (none), which
# the program lets through, and the simulated device does not.
write_host_vars 2 10.0.0.1
write_host_vars 3 0.0.0.0 198.18.3.1
playbook address_plan.yml
expect_recap seg1 "ok=2 changed=0 unreachable=0 failed=0"
expect_recap seg2 "ok=0 changed=0 unreachable=0 failed=1"
expect_output "the checks refused the plan, nothing was sent"
grep "fatal: \[seg2\]" "$log" | grep -q "$(mac 2 1)[^;]*refused ([^;]*10.0.0.1" || fail "seg2's failure does not say why"
grep "fatal: \[seg2\]" "$log" | grep -q '"changed": false' || fail "seg2's failure claims a change"
[ "$(simulator_since_run seg2 "write ")" = 0 ] || fail "a refused plan sent a write to seg2"
# A failed task does not count in the recap's "changed"; its result says that a write was sent.
expect_recap seg3 "ok=0 changed=0 unreachable=0 failed=1"
grep "fatal: \[seg3\]" "$log" | grep -q '"changed": true' || fail "seg3's failure does not say that a write was sent"
grep "fatal: \[seg3\]" "$log" | grep -q "$(mac 3 1)[^;]*mismatch" || fail "seg3's failure does not say which device refused"
[ "$(simulator_since_run seg3 "write .* refused")" -ge 1 ] || fail "seg3's device refused no write"

echo "== the README's plant playbook: addresses held twice across the plant, then each segment's plan"
sed -n '/^```yaml plant.yml$/,/^```$/p' "$tests/../README.md" | sed '1d;$d' | diff - "$tests/playbooks/plant.yml" ||
    fail "the README's plant playbook is not the one tested here"
mkdir -p "$work/plant/plans"
cp "$tests/playbooks/plant.yml" "$work/plant/"
for s in 1 2 3; do
    segment_plan "$s" 4 4 >"$work/plant/plans/seg$s.csv"
    echo "plan_path: $work/plan-on-seg$s.csv" >"$work/host_vars/seg$s.yml"
done
playbook "$work/plant/plant.yml"
# The earlier runs left every segment's second device at 198.18.2.2; seg3's first kept 198.18.2.1.
expect_output "198.18.2.2 is held by seg1 SEG01-HMI-02, seg2 SEG02-HMI-02, seg3 SEG03-HMI-02"
expect_output "198.18.2.1 is held by seg1 SEG01-PLC-01, seg2 SEG02-PLC-01, seg3 SEG03-PLC-01"
expect_recap seg1 "ok=6 changed=2 unreachable=0 failed=0"
for s in 2 3; do expect_recap "seg$s" "ok=5 changed=2 unreachable=0 failed=0"; done
for s in 1 2 3; do expect_output "$(statuses $s verified 4)"; done

echo "PASS"
