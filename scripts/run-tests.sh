#!/bin/sh
# Runs every test of each build folder given (make test: the normal and the
# sanitizer build), the second even when the first fails, and closes with one
# line that counts the test cases each build ran, from the result files the
# test programs write. Exits non-zero when any test failed.
#
#   scripts/run-tests.sh build build-asan
set -eu
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

# Counts the cases of GoogleTest XML and Qt Test JUnit XML files alike:
# prints "passed failed skipped". A case fails with a <failure> or <error>
# inside it. Qt's initTestCase and cleanupTestCase are the program's set-up,
# counted only when they fail (then the cases they hold never run).
count_cases() {
    awk '
        function close_case() {
            if (open) {
                if (failed) f++
                else if (skipped) s++
                else if (!setup) p++
            }
            open = 0
        }
        # Messages and output in CDATA sections may hold any text at all.
        cdata {
            end = index($0, "]]>")
            if (!end) next
            cdata = 0
            $0 = substr($0, end + 3)
        }
        # A case starts a line, or follows the opening of its suite there.
        /^[ \t]*(<testsuites?[ >][^<]*)*<testcase / {
            close_case()
            if ($0 ~ /status="notrun"/) next
            open = 1; failed = 0; skipped = 0
            setup = ($0 ~ /name="(initTestCase|cleanupTestCase)"/)
            # A case may be written on one line, its failure and end with it.
            if ($0 ~ /<(failure|error)[ \/>]/) failed = 1
            if ($0 ~ /<skipped[ \/>]/) skipped = 1
            if ($0 ~ /\/>[ \t]*$/ || $0 ~ /<\/testcase>/) close_case()
            next
        }
        open && /<(failure|error)[ \/>]/ { failed = 1 }
        open && /<skipped[ \/>]/ { skipped = 1 }
        /<\/testcase>/ { close_case() }
        {
            start = index($0, "<![CDATA[")
            if (start && !index(substr($0, start), "]]>")) cdata = 1
        }
        END { close_case(); printf "%d %d %d\n", p, f, s }
    ' "$@" /dev/null
}

# scripts/run-tests.sh --count FILE...: only the count, for its own test.
if [ "${1:-}" = --count ]; then
    shift
    count_cases "$@"
    exit
fi

status=0
summary=""

# Runs one build's tests and adds its part to the closing line.
run_build() {
    dir=$1
    results="$dir/test-results"
    mkdir -p "$results"
    rm -f "$results"/*.xml
    ctest --test-dir "$dir" --output-on-failure -j "$JOBS" || status=1

    set -- "$results"/*.xml
    [ -e "$1" ] || set --
    # shellcheck disable=SC2046 # three numbers, split on purpose
    set -- $(count_cases "$@")
    part="$dir $1 passed, $2 failed"
    [ "$3" -eq 0 ] || part="$part, $3 skipped"
    # A program that crashed or was stopped leaves no result, or an empty one.
    silent=""
    for program in $(ctest --test-dir "$dir" -N | sed -n 's/^ *Test *#[0-9]*: //p'); do
        [ -s "$results/$program.xml" ] || silent="$silent $program"
    done
    [ -z "$silent" ] || part="$part (no result from:$silent)"
    summary="${summary:+$summary; }$part"
}

for dir in "$@"; do
    run_build "$dir"
done
echo "test cases: $summary"
exit "$status"
