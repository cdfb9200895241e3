#!/bin/sh
# Writes the manual page of kvrctl700-cli from the program's own help texts: the top-level help,
# then every sub-command's help with its options and statuses, then the exit status, so that the
# page and --help cannot drift apart.
#
#   tools/cli-manpage.sh PROGRAM VERSION OUTPUT
set -eu
program=$1
version=$2
output=$3
commands='search identify set apply'

# Turns a help text into man(7) requests. Blank lines end paragraphs; a line "Heading:" becomes a
# bold label (or, for "Exit status:", is left out: the page has its own section); "  tag  text"
# becomes a tagged paragraph (options, statuses, exit codes), with its indented continuation
# lines; other indented lines (examples) keep their line breaks.
to_man()
{
    awk -v skip_exit="$1" '
    function esc(s) { gsub(/\\/, "\\e", s); gsub(/-/, "\\-", s); return s }
    function line(s) { if (s ~ /^[.\047]/) s = "\\&" s; print s }
    function endpre() { if (mode == "pre") { print ".fi"; print ".RE"; mode = "para" } }
    function tag(s,    out, n, i, parts) {
        # "-i, --interface <name>": names in bold, the value in italics
        n = split(s, parts, " ")
        out = ""
        for (i = 1; i <= n; ++i)
            out = out (i > 1 ? " " : "") (parts[i] ~ /^</ ? "\\fI" : "\\fB") esc(parts[i]) "\\fR"
        return out
    }
    BEGIN { mode = "para"; skipping = 0 }
    /^$/ { endpre(); mode = "para"; skipping = 0; next }
    skipping { next }
    /^[A-Z][^:]*:$/ {
        endpre()
        if (skip_exit && $0 == "Exit status:") { skipping = 1; next }
        print ".PP"; print "\\fB" esc(substr($0, 1, length($0) - 1)) "\\fR"
        mode = "list"; next
    }
    /^  [^ ]/ && (mode == "list" || mode == "item") {
        # the tag, then after two blanks its text (or the text on the lines below)
        if (!match($0, /^  [^ ]+( [^ ]+)*  +/)) RLENGTH = length($0)
        head = substr($0, 3, RLENGTH - 2); sub(/ +$/, "", head)
        print ".TP"; print (head ~ /^-/ ? tag(head) : "\\fB" esc(head) "\\fR")
        if (RLENGTH < length($0)) line(esc(substr($0, RLENGTH + 1)))
        mode = "item"; next
    }
    /^    / && mode == "item" { t = $0; sub(/^ +/, "", t); line(esc(t)); next }
    /^  / {
        if (mode != "pre") { print ".RS 4"; print ".nf"; mode = "pre" }
        t = $0; sub(/^  /, "", t); line(esc(t)); next
    }
    {
        endpre()
        if (mode != "text") { print ".PP"; mode = "text" }
        line(esc($0))
    }
    END { endpre() }
    '
}

{
    echo '.TH KVRCTL700-CLI 1 "" "kvrctl700 '"$version"'" "User Commands"'
    echo '.SH NAME'
    printf '%s\n' 'kvrctl700-cli \- finds, identifies and addresses KORVEL devices from the command line'
    echo '.SH SYNOPSIS'
    for command in $commands; do
        "$program" "$command" --help | head -n 1 | sed -e 's/^Usage: //' -e 's/-/\\-/g' \
            -e 's/^\([^ ]*\) \([^ ]*\)/.br\n\\fB\1 \2\\fR/' -e 's/\[options\]/[\\fIoptions\\fR]/'
    done
    echo '.SH DESCRIPTION'
    "$program" --help | tail -n +3 | to_man 1
    echo '.SH COMMANDS'
    for command in $commands; do
        echo ".SS $command"
        "$program" "$command" --help | tail -n +3 | to_man 1
    done
    echo '.SH "EXIT STATUS"'
    "$program" search --help | sed -n '/^Exit status:$/,$p' | to_man 0 | tail -n +3
    echo '.SH "SEE ALSO"'
    printf '%s\n' '\fBkvrctl700\fR(1), \fBkvrctl700\-devsim\fR(1)'
} >"$output"
