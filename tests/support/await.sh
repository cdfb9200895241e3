# Shell helpers for the test scripts that watch simulators and programs through their log files.
# Source it; it defines fail and await.

fail()
{
    echo "FAIL: $*" >&2
    exit 1
}

# Waits up to 10 s for a text to appear in a log file.
await()
{
    for _ in $(seq 100); do
        grep -q -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$1" >&2
    fail "no \"$2\" in $1"
}
