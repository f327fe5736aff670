# What the Windows packaging tests share, sourced after each has set
# WINEPREFIX: Wine kept quiet and in Japanese where the locale is there, a
# scratch folder, Windows' name of a path, and the checks with their count
# and JUnit-style result file.
# shellcheck shell=sh disable=SC1003 # backslashes of Windows paths
WINE=${WINE:-wine}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=C.UTF-8
locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && LANG=ja_JP.UTF-8
scratch=$(mktemp -d)
scratch=$(cd -P "$scratch" && pwd)
passed=0
failed=0
cases=

windows() { printf 'Z:%s' "$1" | tr / '\\'; }

# check DESCRIPTION COMMAND...: one case; what a failing one printed is shown.
check() {
    description=$1
    shift
    name=$(printf '%s' "$description" | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g; s/"/\&quot;/g')
    if "$@" >"$scratch/out" 2>&1; then
        passed=$((passed + 1))
        echo "ok      $description"
        cases="$cases<testcase name=\"$name\"/>
"
    else
        failed=$((failed + 1))
        echo "FAILED  $description"
        sed 's/^/        /' "$scratch/out"
        cases="$cases<testcase name=\"$name\"><failure/></testcase>
"
    fi
}

# finish LABEL SUITE RESULT_XML: the closing count, the result file (when
# named), and the status.
finish() {
    echo "$1: $passed passed, $failed failed"
    [ -z "$3" ] || printf '<testsuite name="%s">\n%s</testsuite>\n' "$2" "$cases" >"$3"
    [ "$failed" -eq 0 ]
}
