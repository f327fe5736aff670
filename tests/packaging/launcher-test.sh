#!/bin/sh
# The menu's launcher, run as a desktop or a terminal runs it, with a stand-in
# in place of the wizard: where it puts the program, what it leaves behind,
# and how it passes on signals and the program's exit status.
# Usage: launcher-test.sh LAUNCHER STAND_IN [RESULT_XML]
# The cases also go to RESULT_XML, as JUnit XML, for make test's count.
set -u
launcher=$1
standin=$2
results=${3:-}
scratch=$(mktemp -d)
scratch=$(cd -P "$scratch" && pwd)
pids=
cleanup() {
    for started in $pids; do
        kill -9 "$started" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
uid=$(id -u)
passed=0
failed=0
n=0

cases=
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

# A fresh runtime folder (0700) and temporary folder for one case.
fresh() {
    n=$((n + 1))
    runtime=$scratch/runtime.$n
    tmp=$scratch/tmp.$n
    report=$scratch/report.$n
    errors=$scratch/errors.$n
    mkdir -m 700 "$runtime" "$tmp"
}

# Starts the launcher in the background, the stand-in doing $1, with only the
# environment given after it (NAME=VALUE ...); $pid is the launcher.
start() {
    todo=$1
    shift
    env -i PATH="$PATH" STANDIN_REPORT="$report" STANDIN_DO="$todo" "$@" \
        "$standin" exec "$launcher" 2>"$errors" &
    pid=$!
    pids="$pids $pid"
}

# The working folder the stand-in reported, once it has (up to 20 s).
reported_folder() {
    i=0
    until grep -q '^dir ' "$report" 2>/dev/null; do
        i=$((i + 1))
        if [ "$i" -gt 200 ] || ! kill -0 "$pid" 2>/dev/null; then
            echo "the program did not start"
            cat "$errors"
            return 1
        fi
        sleep 0.1
    done
    sed -n 's/^dir //p' "$report"
}

# $1 is a new folder vesmira.* right inside $2, mode 0700, this user's own,
# holding the stand-in's files.
private_in() {
    [ "$(dirname "$1")" = "$2" ] || { echo "$1 is not in $2"; return 1; }
    case $(basename "$1") in
        vesmira.?*) ;;
        *) echo "$1 is not a new folder"; return 1 ;;
    esac
    [ "$(stat -c '%F %a %u' "$1")" = "directory 700 $uid" ] ||
        { echo "$1: $(stat -c '%F %a %u' "$1")"; return 1; }
    [ -f "$1/temp.1" ] || { echo "$1 holds no temp.1"; return 1; }
}

# The launcher $pid ends (within 20 s) with status $1, and its folder $2 is
# gone.
ended() {
    (
        i=0
        while [ "$i" -lt 200 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        kill -9 "$pid"
    ) 2>/dev/null &
    watchdog=$!
    wait "$pid"
    status=$?
    kill "$watchdog" 2>/dev/null
    [ "$status" -eq "$1" ] || { echo "status $status, not $1"; cat "$errors"; return 1; }
    [ ! -e "$2" ] || { echo "$2 is left behind:"; ls -la "$2"; return 1; }
}

signal_is_forwarded() {
    fresh
    start wait XDG_RUNTIME_DIR="$runtime" TMPDIR="$tmp"
    folder=$(reported_folder) && private_in "$folder" "$runtime" || return 1
    kill -s "$1" "$pid"
    ended $((40 + $2)) "$folder" || return 1
    grep -qx "signal $2" "$report" || { echo "the program did not get $1"; return 1; }
    [ -z "$(ls -A "$runtime")" ]
}

# The program ends by itself ($1: "exit N" or "kill"), with status $2.
ends_by_itself() {
    fresh
    start "$1" XDG_RUNTIME_DIR="$runtime" TMPDIR="$tmp"
    folder=$(reported_folder) && ended "$2" "$folder"
}

two_starts_get_two_folders() {
    fresh
    start wait XDG_RUNTIME_DIR="$runtime" TMPDIR="$tmp"
    first=$pid
    first_report=$report
    report=$scratch/report.$n.second
    start wait XDG_RUNTIME_DIR="$runtime" TMPDIR="$tmp"
    second_folder=$(reported_folder) || return 1
    report=$first_report
    first_folder=$(reported_folder) || return 1
    [ "$first_folder" != "$second_folder" ] || { echo "both in $first_folder"; return 1; }
    private_in "$first_folder" "$runtime" && private_in "$second_folder" "$runtime" || return 1
    kill -s TERM "$first" "$pid"
    ended 55 "$second_folder" || return 1
    pid=$first
    ended 55 "$first_folder"
}

# The runtime folder is made unfit by $1; the program must run in a new
# private folder in TMPDIR, and nothing may appear in the runtime folder or
# behind a link.
unfit_runtime_folder_is_passed_over() {
    fresh
    given=$runtime
    victim=$scratch/victim.$n
    mkdir -m 700 "$victim"
    case $1 in
        link) rmdir "$runtime" && ln -s "$victim" "$runtime" ;;
        other-writable) chmod 777 "$runtime" ;;
        group-writable) chmod 770 "$runtime" ;;
        shared-sticky) chmod 1777 "$runtime" ;;
        foreign) chown 65534:65534 "$runtime" ;;
        a-file) rmdir "$runtime" && : >"$runtime" ;;
        missing) rmdir "$runtime" ;;
        relative) given=${runtime#/} ;;
        empty) given= ;;
    esac
    start "exit 0" XDG_RUNTIME_DIR="$given" TMPDIR="$tmp" HOME="$scratch"
    folder=$(reported_folder) || return 1
    ended 0 "$folder" || return 1
    [ "$(dirname "$folder")" = "$tmp" ] || { echo "ran in $folder"; return 1; }
    [ -z "$(ls -A "$victim")" ] || { echo "written behind the link: $(ls -A "$victim")"; return 1; }
    [ ! -d "$runtime" ] || [ -L "$runtime" ] || [ -z "$(ls -A "$runtime")" ] ||
        { echo "written in the runtime folder: $(ls -A "$runtime")"; return 1; }
}

nothing_set_uses_tmp() {
    fresh
    start wait
    folder=$(reported_folder) && private_in "$folder" /tmp || return 1
    kill -s TERM "$pid"
    ended 55 "$folder"
}

planted_link_is_left_alone() {
    fresh
    victim=$scratch/victim.$n
    mkdir -m 700 "$victim"
    echo "the user's own" >"$victim/temp.1"
    ln -s "$victim" "$runtime/vesmira"
    start "exit 0" XDG_RUNTIME_DIR="$runtime" TMPDIR="$tmp"
    folder=$(reported_folder) || return 1
    ended 0 "$folder" || return 1
    [ "$(dirname "$folder")" = "$runtime" ] || { echo "ran in $folder"; return 1; }
    [ "$(cat "$victim/temp.1")" = "the user's own" ] && [ -L "$runtime/vesmira" ] &&
        [ "$(ls -A "$victim")" = temp.1 ]
}

# No folder can be made: the program is not started at all, and the user is
# told why, on standard error and on the desktop.
no_folder_no_start() {
    fresh
    bin=$scratch/bin.$n
    mkdir "$bin"
    printf '#!/bin/sh\nprintf "%%s|" "$@" >%s\n' "$scratch/notified.$n" >"$bin/notify-send"
    chmod +x "$bin/notify-send"
    env -i PATH="$bin:$PATH" STANDIN_REPORT="$report" XDG_RUNTIME_DIR="$runtime/missing" \
        TMPDIR=/nonexistent/tmp "$launcher" 2>"$errors"
    status=$?
    [ "$status" -eq 1 ] || { echo "status $status"; return 1; }
    [ ! -e "$report" ] || { echo "the program was started in $(cat "$report")"; return 1; }
    grep -q '^vesmira: 作業フォルダを作れません (no private working folder: .*/nonexistent/tmp' \
        "$errors" || { cat "$errors"; return 1; }
    i=0
    until [ -s "$scratch/notified.$n" ] || [ "$i" -gt 50 ]; do
        i=$((i + 1))
        sleep 0.1
    done
    grep -q '|ヴェスミラ|作業フォルダを作れません (' "$scratch/notified.$n" ||
        { echo "notified: $(cat "$scratch/notified.$n")"; return 1; }
}

check "HUP is passed on; the private folder goes" signal_is_forwarded HUP 1
check "INT is passed on; the private folder goes" signal_is_forwarded INT 2
check "TERM is passed on; the private folder goes" signal_is_forwarded TERM 15
check "the program's exit status is the launcher's" ends_by_itself "exit 3" 3
check "two starts at once get two private folders" two_starts_get_two_folders
check "a killed program leaves no folder behind" ends_by_itself kill 137
check "a link planted at the old fixed path is left alone" planted_link_is_left_alone
check "no XDG_RUNTIME_DIR, HOME or TMPDIR: a new folder in /tmp" nothing_set_uses_tmp
for unfit in link other-writable group-writable shared-sticky a-file missing relative empty; do
    check "runtime folder passed over: $unfit" unfit_runtime_folder_is_passed_over "$unfit"
done
if [ "$uid" -eq 0 ]; then
    check "runtime folder passed over: foreign" unfit_runtime_folder_is_passed_over foreign
fi
check "no private folder: no start, and the user is told" no_folder_no_start

echo "launcher: $passed passed, $failed failed"
if [ -n "$results" ]; then
    printf '<testsuite name="launcher_tests">\n%s</testsuite>\n' "$cases" >"$results"
fi
[ "$failed" -eq 0 ]
