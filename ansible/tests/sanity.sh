#!/bin/sh
# Static checks of the collection with Debian's tools: every Python file compiles, pyflakes finds
# nothing, and ansible-doc renders the page of every module (its DOCUMENTATION, EXAMPLES and
# RETURN parse, and the shared option fragment is found).
#
#   ansible/tests/sanity.sh COLLECTIONS_PATH      (a folder holding ansible_collections/kvrctl700/commissioning)
set -eu

collections=$1
collection=$collections/ansible_collections/kvrctl700/commissioning
work=$(mktemp -d "${TMPDIR:-/tmp}/kvr-ansible-sanity.XXXXXX")
trap 'rm -rf "$work"' EXIT
# shellcheck source=../../tests/support/await.sh
. "$(dirname "$0")/../../tests/support/await.sh"

files=$(find "$collection/" -name '*.py' | sort)
[ -n "$files" ] || fail "no Python files in $collection"
# Compiled files go to the scratch folder, not into the source tree.
# shellcheck disable=SC2086
PYTHONPYCACHEPREFIX=$work/pycache /usr/bin/python3 -m py_compile $files || fail "py_compile"
# shellcheck disable=SC2086
pyflakes3 $files || fail "pyflakes3"

modules=$(cd "$collection/plugins/modules" && ls ./*.py | sed 's|^\./||; s|\.py$||')
export ANSIBLE_COLLECTIONS_PATH=$collections ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false
export ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_NOCOLOR=1
listed=$(ansible-doc -t module -l kvrctl700.commissioning 2>"$work/list.err") || { cat "$work/list.err" >&2; fail "ansible-doc -l"; }
for module in $modules; do
    echo "$listed" | grep -q "^kvrctl700\.commissioning\.$module " || fail "ansible-doc -l does not list $module"
    ansible-doc -t module "kvrctl700.commissioning.$module" >"$work/$module.txt" 2>&1 ||
        { cat "$work/$module.txt" >&2; fail "ansible-doc $module"; }
    # ansible-doc exits 0 also when it could not find or parse a page: it only warns.
    grep -q "WARNING\|ERROR" "$work/$module.txt" && { cat "$work/$module.txt" >&2; fail "ansible-doc $module warns"; }
    for part in "> KVRCTL700.COMMISSIONING.$(echo "$module" | tr a-z A-Z)" "OPTIONS" "EXAMPLES:" "RETURN VALUES:" "- executable"; do
        grep -qF -- "$part" "$work/$module.txt" || { cat "$work/$module.txt" >&2; fail "ansible-doc $module has no \"$part\""; }
    done
done
echo "PASS: $(echo "$files" | wc -l) files compiled and clean, $(echo "$modules" | wc -w) module pages rendered"
