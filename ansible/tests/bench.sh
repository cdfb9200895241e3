#!/bin/bash
# The figure of docs/performance.md: four segments of 30 devices each (tests/segments.sh, the
# simulator's and the program's default timing), and the wall time of ansible-playbook for the
# first run of each segment's plan (every device re-addressed and verified) and the second
# (nothing to do), each beside a no-op playbook on the same hosts: Ansible's own cost.
# Every run's recap is checked, so that a figure is never of a run that failed.
# Runs inside tools/isolated.sh --loopback-only:
#
#   tools/isolated.sh --loopback-only ansible/tests/bench.sh BUILD_DIR [REPEATS]
set -eu

build_dir=$(cd "$1" && pwd)
repeats=${2:-3}
tests=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kvr-ansible-bench.XXXXXX")
# shellcheck source=segments.sh
. "$tests/segments.sh"
trap 'segments_stop; rm -rf "$work"' EXIT
ansible_environment
segments=4
devices=30

# seconds BOOK EXPECTED-RECAP: runs a playbook, checks every host's recap, prints its wall time.
seconds()
{
    local start end line s
    start=$(date +%s.%N)
    ansible-playbook -i "$work/inventory" "$tests/playbooks/$1" >"$work/run.log" 2>&1 || true
    end=$(date +%s.%N)
    for s in $(seq $segments); do
        line=$(grep -E "^seg$s +: " "$work/run.log" | tr -s ' ')
        [[ "$line" == *": $2 "* ]] || { cat "$work/run.log" >&2; fail "$1, seg$s: \"$line\", expected \"$2\""; }
    done
    awk "BEGIN { print $end - $start }"
}

mkdir -p "$work/host_vars"
# Per repeat, Ansible's own cost is the mean of the no-op runs before and after.
printf '%-8s %8s %8s %8s %8s %14s %14s\n' repeat no-op first second no-op first-no-op second-no-op
rows=()
for r in $(seq "$repeats"); do
    for s in $(seq $segments); do
        segment_devices "$s" $devices 1 >"$work/devices-seg$s.json"
        segment_start "seg$s" --devices "$work/devices-seg$s.json"
        segment_plan "$s" $devices 2 >"$work/plan-seg$s.csv"
        printf 'plan_file: %s\n' "$work/plan-seg$s.csv" >"$work/host_vars/seg$s.yml"
    done
    segments_inventory >"$work/inventory"
    noop1=$(seconds noop.yml "ok=2 changed=0 unreachable=0 failed=0")
    first=$(seconds address_plan.yml "ok=2 changed=1 unreachable=0 failed=0")
    [ "$(grep -o "=verified" "$work/run.log" | wc -l)" = $((segments * devices)) ] || fail "not every row verified"
    for s in $(seq $segments); do
        [ "$(grep -c "write .* accepted" "$work/devsim-seg$s.log")" = $devices ] || fail "seg$s: not every device took its write"
    done
    second=$(seconds address_plan.yml "ok=2 changed=0 unreachable=0 failed=0")
    noop2=$(seconds noop.yml "ok=2 changed=0 unreachable=0 failed=0")
    row=$(awk "BEGIN { n = ($noop1 + $noop2) / 2
                       printf \"%8.2f %8.2f %8.2f %8.2f %14.2f %14.2f\", $noop1, $first, $second, $noop2, $first - n, $second - n }")
    rows+=("$row")
    printf '%-8s %s\n' "$r" "$row"
    segments_stop
done
# The median of column $1 of the rows.
median()
{
    printf '%s\n' "${rows[@]}" | awk -v c="$1" '{ print $c }' | sort -n |
        awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
printf '%-8s %8.2f %8.2f %8.2f %8.2f %14.2f %14.2f\n' median "$(median 1)" "$(median 2)" "$(median 3)" \
    "$(median 4)" "$(median 5)" "$(median 6)"
