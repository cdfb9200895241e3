#!/bin/bash
# Builds the Debian packages from a build tree, installs them into a throwaway root (never this
# machine's), checks what they put there, runs the installed programs against each other across a
# virtual cable, and removes them again. Runs as root of a private user and network namespace
# (tools/isolated.sh --loopback-only): nothing here reaches this machine's network or system.
#
#   tests/tst_package.sh BUILD_DIR "TOOL PROGRAMS" "PROGRAMS WITH THE PORT RIGHT"
set -eu
# As root of its namespace it needs the administrator's tools (getcap, setcap, ip, ldconfig).
export PATH=/usr/local/sbin:/usr/sbin:/sbin:$PATH

build_dir=$1
tool_programs=$2
port_programs=$3
source_dir=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/kvr-package.XXXXXX")
root=$work/root
pids=()
cleanup()
{
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=support/await.sh
. "$(dirname "$0")/support/await.sh"

dpkg_in_root()
{
    dpkg --root="$root" --log="$work/dpkg.log" --force-script-chrootless --force-depends \
         --force-not-root --force-bad-path "$@"
}

echo "== building the packages"
cpack --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" ||
    { cat "$work/cpack.log" >&2; fail "cpack"; }
tool_deb=$(echo "$work"/out/kvrctl700_*.deb)
sim_deb=$(echo "$work"/out/kvrctl700-devsim_*.deb)
version=$(dpkg-deb --field "$tool_deb" Version)
dpkg-deb --field "$tool_deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries"
lintian --fail-on error "$tool_deb" "$sim_deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }

echo "== installing into $root, first where setcap cannot be found"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
host_rmem_max=$(cat /proc/sys/net/core/rmem_max)
PATH=/usr/bin:/bin dpkg_in_root --install "$tool_deb" "$sim_deb" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "the install failed without setcap"; }
grep -q "may not bind UDP port 102: setcap is not installed" "$work/install.log" ||
    { cat "$work/install.log" >&2; fail "no word that the port right is missing"; }
grep -q "setcap cap_net_bind_service=+ep $root/usr/bin/kvrctl700" "$work/install.log" ||
    fail "no word how to grant the right"
[ -z "$(getcap "$root/usr/bin/kvrctl700")" ] || fail "a capability without setcap?"

echo "== installing again, with setcap"
dpkg_in_root --install "$tool_deb" "$sim_deb" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "the install failed"; }
[ "$(cat /proc/sys/net/core/rmem_max)" = "$host_rmem_max" ] || fail "this machine's rmem_max changed"

echo "== checking the installed files"
for program in $tool_programs kvrctl700-devsim; do
    [ -x "$root/usr/bin/$program" ] || fail "no /usr/bin/$program"
    [ -s "$root/usr/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
done
for program in $port_programs; do
    getcap "$root/usr/bin/$program" | grep -q 'cap_net_bind_service=ep' || fail "$program may not bind port 102"
done
[ -z "$(getcap "$root/usr/bin/kvrctl700-devsim")" ] || fail "the simulator must get no port right"
for size in 16 22 24 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x$size/apps/kvrctl700.png
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "no $size x $size icon"
done
desktop-file-validate "$root/usr/share/applications/kvrctl700.desktop"
appstreamcli validate-tree --no-net "$root" || fail "the desktop entry, icon and metainfo do not tie up"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.example.kvrctl700.metainfo.xml" ||
    fail "the metainfo has no release entry for $version"
zcat "$root/usr/share/doc/kvrctl700/changelog.gz" | head -n 1 | grep -qF "($version)" ||
    fail "the changelog has no entry for $version"
grep -qx 'net.core.rmem_max = 4194304' "$root/usr/lib/sysctl.d/30-kvrctl700.conf" || fail "no rmem_max drop-in"
if [[ " $tool_programs " == *" kvrctl700-cli "* ]]; then
    [ -s "$root/usr/share/bash-completion/completions/kvrctl700-cli" ] || fail "no bash completion"
fi

echo "== the Ansible collection, where Debian's Ansible looks without configuration"
collections=usr/share/ansible/collections
: >"$work/ansible.cfg"
env -u ANSIBLE_COLLECTIONS_PATH ANSIBLE_CONFIG="$work/ansible.cfg" ANSIBLE_LOCAL_TEMP="$work/ansible" \
    ansible-config dump | grep '^COLLECTIONS_PATHS' | grep -q "/$collections\b" ||
    fail "ansible-core does not search /$collections by default"
[ ! -e "$root/$collections/ansible_collections/kvrctl700/commissioning/tests" ] || fail "the collection's tests are installed"
"$source_dir/ansible/tests/sanity.sh" "$root/$collections" || fail "ansible-doc does not find the installed modules"

echo "== completing kvrctl700-cli"
complete_words()
{
    bash -c '
        . /usr/share/bash-completion/bash_completion
        . "$1/packaging/kvrctl700-cli.bash"
        shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        COMPREPLY=(); _kvrctl700_cli; echo "${COMPREPLY[*]}"' _ "$source_dir" kvrctl700-cli "$@"
}
completions=$(complete_words ""; complete_words search --format ""; complete_words apply x.csv --format "";
              complete_words set 02:4B:56:10:00:01 --d)
[ "$completions" = $'search identify set apply\ntable json jsonl csv\ntable json jsonl\n--dry-run' ] ||
    fail "completions: $completions"
# Every option a sub-command's --help lists is offered, and nothing else (Qt's --help-all aside).
for command in search identify set apply; do
    offered=$(complete_words "$command" - | tr ' ' '\n' | sort)
    listed=$("$root/usr/bin/kvrctl700-cli" "$command" --help | grep -oE '^  (-[a-z], )?--[a-z-]+' |
             grep -oE -- '-{1,2}[a-z-]+' | grep -vx -- '--help-all' | sort)
    [ "$offered" = "$listed" ] || fail "completion of $command options: $(echo $offered) against --help: $(echo $listed)"
done

echo "== the installed simulator and window across a virtual cable"
ip link set lo up
unshare --net -- "$root/usr/bin/kvrctl700-devsim" >"$work/devsim.log" 2>&1 &
pids+=($!)
sim_pid=$!
await "$work/devsim.log" "listening on"
ip link add kvrpkg0 type veth peer name kvrpkg1 netns "$sim_pid"
ip addr add 198.18.0.1/24 dev kvrpkg0
ip link set kvrpkg0 up
ip route add default dev kvrpkg0
nsenter --target "$sim_pid" --net sh -c 'ip link set lo up && ip link set kvrpkg1 up &&
                                        ip addr add 198.18.0.254/24 dev kvrpkg1'
# A veth end drops what it is given until the kernel has switched it on, a little after "up".
cable_up()
{
    ip -o link show kvrpkg0 | grep -q 'state UP' &&
        nsenter --target "$sim_pid" --net ip -o link show kvrpkg1 | grep -q 'state UP'
}
for _ in $(seq 100); do
    cable_up && break
    sleep 0.1
done
cable_up || fail "the cable to the simulator did not come up"

QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="default.debug=true" "$root/usr/bin/kvrctl700" 2>"$work/window.log" &
pids+=($!)
window_pid=$!
await "$work/window.log" "Receive buffer:"
# The window's search frame, in one datagram from another port: the replies go to port 102.
search='KORVEL\x01\xf0\x00\x01\x00\x00\x00\x2e\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x14'
search+='\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x03\x00\x00\x00\x04\x00\x00\x00\x05'
printf "$search" >/dev/udp/198.18.0.254/102
await "$work/devsim.log" "search from 198.18.0.1"
for _ in $(seq 100); do
    [ "$(grep -c 'Recv Num:' "$work/window.log")" -ge 5 ] && break
    sleep 0.1
done
[ "$(grep -c 'Recv Num:' "$work/window.log")" -eq 5 ] ||
    { cat "$work/window.log" >&2; fail "the window did not receive the five devices' replies"; }
grep -q 'Not Korvel Protocal\|Illigal TLV type' "$work/window.log" && fail "the window refused a reply"
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true

if [[ " $tool_programs " == *" kvrctl700-cli "* ]]; then
    echo "== the installed kvrctl700-cli search against the installed simulator"
    "$root/usr/bin/kvrctl700-cli" search --format csv >"$work/search.csv" ||
        fail "kvrctl700-cli search exited with $?"
    for mac in 02:4B:56:10:00:01 02:4B:56:10:00:02 02:4B:56:20:00:01 02:4B:56:30:00:01 02:4B:56:40:00:07; do
        grep -qi "$mac" "$work/search.csv" || { cat "$work/search.csv" >&2; fail "search missed $mac"; }
    done
fi

echo "== removing the packages"
dpkg_in_root --purge kvrctl700 kvrctl700-devsim >"$work/purge.log" 2>&1 ||
    { cat "$work/purge.log" >&2; fail "the purge failed"; }
for gone in usr/bin/kvrctl700 usr/bin/kvrctl700-devsim usr/lib/sysctl.d/30-kvrctl700.conf \
            usr/share/applications/kvrctl700.desktop usr/share/ansible; do
    [ ! -e "$root/$gone" ] || fail "/$gone is left after purge"
done
echo "PASS"
