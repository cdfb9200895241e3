#!/bin/bash
# The manual pages as a terminal of 80 columns shows them: no troff warning in any of them, and
# kvrctl700-cli's page gives each sub-command every option and status its --help lists, and the
# exit codes.
#
#   tests/tst_manpages.sh MAN_DIR KVRCTL700_CLI
set -eu
man_dir=$1
cli=$2
failed=0
fail()
{
    echo "FAIL: $*" >&2
    failed=1
}

for page in "$man_dir"/*.1.gz; do
    warnings=$(zcat "$page" | LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -rLL=80n -z 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# The page's text without troff's escapes and fonts.
text=$(zcat "$man_dir/kvrctl700-cli.1.gz" | sed -e 's/\\-/-/g' -e 's/\\f[BIR]//g' -e 's/\\e/\\/g')
section()
{
    echo "$text" | sed -n "/^\\.S[SH] \"*$1\"*\$/,/^\\.S[SH] /p" | sed '$d'
}
for command in search identify set apply; do
    help=$("$cli" "$command" --help)
    shown=$(section "$command")
    [ -n "$shown" ] || fail "no section for $command"
    for option in $(echo "$help" | grep -oE '^  (-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
        echo "$shown" | grep -qx -- "$option.*\\|.*, $option.*" || fail "$command: no $option"
    done
    for status in $(echo "$help" | sed -n '/^Each row ends with one status:$/,/^$/p' | grep -oE '^  [a-z-]+'); do
        echo "$shown" | grep -qx -- "$status" || fail "$command: no status $status"
    done
done
exits=$(section '"EXIT STATUS"')
for code in $("$cli" search --help | sed -n '/^Exit status:$/,$p' | grep -oE '^  [0-9]+'); do
    echo "$exits" | grep -qx -- "$code" || fail "no exit code $code"
done
exit $failed
