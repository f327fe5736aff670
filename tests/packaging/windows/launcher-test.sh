#!/bin/sh
# vesmira-start.exe under Wine, with a stand-in in place of the wizard: where
# it puts the program, what it leaves behind, what it clears of earlier
# starts, and the program's exit status.
# Usage: launcher-test.sh LAUNCHER STAND_IN CHECK [RESULT_XML]
# Each case runs with a temporary folder (TMP, TEMP) of its own.
# shellcheck disable=SC1003 # backslashes of Windows paths
set -u
launcher=$1
standin=$2
checker=$3
results=${4:-}
# shellcheck source-path=SCRIPTDIR source=checks.sh
. "$(dirname "$0")/checks.sh"
export WINEPREFIX="${WINEPREFIX:-$HOME/.cache/vesmira-windows/wine-tests}"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
cp "$launcher" "$scratch/bin/vesmira-start.exe"
cp "$standin" "$scratch/bin/vesmira.exe"
cp "$checker" "$scratch/check.exe"
n=0
uid=$(id -u)

# Wine's drive Z: is the Unix root.
unix() { printf '%s' "$1" | sed 's/^[Zz]://' | tr '\\' /; }

# A fresh temporary folder, report and error file for one case.
fresh() {
    n=$((n + 1))
    tmp=$scratch/tmp.$n
    report=$scratch/report.$n
    errors=$scratch/errors.$n
    go=$scratch/go.$n
    mkdir "$tmp"
}

# Runs the launcher in $1 (default: the one with the stand-in), the stand-in
# doing $todo, with this case's folder; more arguments go to check.exe run.
launch() {
    folder_of_launcher=${1:-$scratch/bin}
    [ $# -eq 0 ] || shift
    timeout -s KILL 120 "$WINE" "$scratch/check.exe" run "$@" \
        TMP="$(windows "$tmp")" TEMP="$(windows "$tmp")" STANDIN_REPORT="$(windows "$report")" \
        STANDIN_DO="$todo" -- "$(windows "$folder_of_launcher/vesmira-start.exe")" 2>"$errors"
}

# The working folder the stand-in reported to $report, once it has (up to a
# minute), as a Unix path.
reported_folder() {
    i=0
    until grep -q '^dir ' "$report" 2>/dev/null; do
        i=$((i + 1))
        if [ "$i" -gt 600 ]; then
            echo "the program did not start"
            cat "$errors"
            return 1
        fi
        sleep 0.1
    done
    unix "$(sed -n 's/^dir //p' "$report" | tr -d '\r')"
}

# $1 is a new folder vesmira.<16 hex digits> right inside $2, empty when the
# program started, this user's own and no one else's, per $report.
private_in() {
    [ "$(dirname "$1")" = "$2" ] || { echo "$1 is not in $2"; return 1; }
    basename "$1" | grep -qx 'vesmira\.[0-9a-f]\{16\}' || { echo "$1: not a new name"; return 1; }
    grep -qx 'entries 0' "$report" || { echo "not empty at the start:"; cat "$report"; return 1; }
    sddl=$(sed -n 's/^sddl //p' "$report")
    owner=$(printf '%s' "$sddl" | sed -n 's/^O:\(S-1-5-21-[-0-9]*\)D:.*/\1/p')
    [ -n "$owner" ] || { echo "owner: $sddl"; return 1; }
    others=$(printf '%s' "$sddl" | sed 's/^[^(]*//' | tr ')' '\n' | sed -n 's/.*;\([^;]*\)$/\1/p' |
        grep -vx -e "$owner" -e SY)
    [ -z "$others" ] || { echo "others may enter: $sddl"; return 1; }
}

# The program ends by itself ($1 what the stand-in does), the launcher with
# status $2; its folder and all in it are gone.
ends_by_itself() {
    fresh
    todo=$1
    launch
    status=$?
    [ "$status" -eq "$2" ] || { echo "status $status, not $2"; cat "$errors"; return 1; }
    folder=$(reported_folder) && private_in "$folder" "$tmp" || return 1
    [ ! -e "$folder" ] || { echo "$folder is left behind:"; ls -laR "$folder"; return 1; }
    [ -z "$(ls -A "$tmp")" ] || { echo "left in $tmp: $(ls -A "$tmp")"; return 1; }
}

two_starts_get_two_folders() {
    fresh
    todo="wait $(windows "$go")"
    first_report=$report
    launch &
    first=$!
    report=$scratch/report.$n.second
    launch &
    second=$!
    second_folder=$(reported_folder) || return 1
    report=$first_report
    first_folder=$(reported_folder) || return 1
    [ "$first_folder" != "$second_folder" ] || { echo "both in $first_folder"; return 1; }
    private_in "$first_folder" "$tmp" || return 1
    report=$scratch/report.$n.second
    private_in "$second_folder" "$tmp" || return 1
    : >"$go"
    wait "$first" || { echo "the first launcher failed"; return 1; }
    wait "$second" || { echo "the second launcher failed"; return 1; }
    [ -z "$(ls -A "$tmp")" ] || { echo "left in $tmp: $(ls -A "$tmp")"; return 1; }
}

# Links put into the working folder while the program runs: what they point
# to stays as it was.
planted_links_are_not_followed() {
    fresh
    todo="wait $(windows "$go")"
    victim=$scratch/victim.$n
    mkdir "$victim"
    echo "the user's own" >"$victim/temp.1"
    launch &
    pid=$!
    folder=$(reported_folder) || return 1
    ln -s "$victim" "$folder/folder-link"
    ln -s "$victim/temp.1" "$folder/file-link"
    : >"$go"
    wait "$pid" || { echo "status $?"; return 1; }
    if [ "$(cat "$victim/temp.1")" != "the user's own" ] || [ "$(ls -A "$victim")" != temp.1 ]; then
        echo "the link was followed: $(ls -A "$victim")"
        return 1
    fi
    [ ! -e "$folder/temp.1" ] || { echo "the program's own files are left"; return 1; }
}

# A folder of earlier starts, named as the launcher names them.
plant() {
    mkdir "$tmp/$1"
    echo 2001 >"$tmp/$1/temp.1"
}

leftovers_of_earlier_starts() {
    fresh
    plant vesmira.0123456789abcdef
    : >"$tmp/vesmira.0123456789abcdef/.vesmira.user.lock"
    mkdir "$tmp/vesmira.00000000000000ff"
    not_ours="vesmira.0123456789ABCDEF vesmira.0123 vesmira.0123456789abcdef0 other.0123456789abcdef"
    for name in $not_ours; do
        plant "$name"
    done
    echo "a file" >"$tmp/vesmira.0123456789abcdee"
    victim=$scratch/victim.$n
    mkdir "$victim"
    echo "the user's own" >"$victim/temp.1"
    ln -s "$victim" "$tmp/vesmira.2222222222222222"
    if [ "$uid" -eq 0 ]; then
        plant vesmira.3333333333333333
        chown -R 65534:65534 "$tmp/vesmira.3333333333333333"
        not_ours="$not_ours vesmira.3333333333333333"
    fi
    # A wizard started by hand in a folder named like ours, still running.
    plant vesmira.1111111111111111
    (cd "$tmp/vesmira.1111111111111111" &&
        STANDIN_DO="wait $(windows "$go")" STANDIN_REPORT="$(windows "$scratch/running.$n")" \
            timeout -s KILL 120 "$WINE" "$scratch/bin/vesmira.exe") &
    running=$!
    report=$scratch/running.$n
    reported_folder >/dev/null || return 1
    report=$scratch/report.$n

    todo="exit 0"
    launch || { echo "status $?"; cat "$errors"; return 1; }
    for gone in vesmira.0123456789abcdef vesmira.00000000000000ff; do
        [ ! -e "$tmp/$gone" ] || { echo "$gone is left"; return 1; }
    done
    for kept in $not_ours vesmira.1111111111111111; do
        [ -f "$tmp/$kept/temp.1" ] || { echo "$kept was touched"; return 1; }
    done
    [ -f "$tmp/vesmira.1111111111111111/.temp.2.part" ] || { echo "the running one was touched"; return 1; }
    [ "$(cat "$tmp/vesmira.0123456789abcdee")" = "a file" ] || { echo "the file was touched"; return 1; }
    if [ ! -L "$tmp/vesmira.2222222222222222" ] || [ "$(ls -A "$victim")" != temp.1 ]; then
        echo "the link or what it points to was touched"
        return 1
    fi

    # Once that wizard has ended, its folder goes at the next start.
    : >"$go"
    wait "$running"
    launch || { echo "status $?"; return 1; }
    [ ! -e "$tmp/vesmira.1111111111111111" ] || { echo "the ended one is left"; return 1; }
}

# The launcher is killed while the program runs ($1: "wait", still holding
# its lock file; "away", holding nothing open in the folder). Starts meanwhile
# leave the folder alone; the first start after the program has ended
# removes it.
killed_launcher() {
    fresh
    todo="$1 $(windows "$go")"
    launch "" --kill-when "$(windows "$report")"
    folder=$(reported_folder) || return 1
    orphan_report=$report
    report=$scratch/report.$n.second
    todo="exit 0"
    launch || { echo "status $?"; cat "$errors"; return 1; }
    [ -f "$folder/temp.1" ] || { echo "the running program's folder was cleared"; return 1; }
    : >"$go"
    # Until the program has ended, which nothing here can wait for directly.
    i=0
    while [ -e "$folder" ]; do
        i=$((i + 1))
        [ "$i" -le 30 ] || { echo "$folder is never removed: $(ls -A "$folder")"; return 1; }
        sleep 0.5
        launch || { echo "status $?"; return 1; }
    done
    report=$orphan_report
}

# No folder can be made: the program is not started at all, and the user is
# told why.
no_folder_no_start() {
    fresh
    todo="exit 0"
    rmdir "$tmp"
    launch
    status=$?
    [ "$status" -eq 1 ] || { echo "status $status"; return 1; }
    [ ! -e "$report" ] || { echo "the program was started: $(cat "$report")"; return 1; }
    grep -q '^vesmira-start: 作業フォルダを作れません (no private working folder: ' "$errors" ||
        { cat "$errors"; return 1; }
}

no_program_no_folder() {
    fresh
    todo="exit 0"
    mkdir "$scratch/alone.$n"
    cp "$scratch/bin/vesmira-start.exe" "$scratch/alone.$n/"
    launch "$scratch/alone.$n"
    status=$?
    [ "$status" -eq 127 ] || { echo "status $status"; cat "$errors"; return 1; }
    grep -q '^vesmira-start: ヴェスミラを起動できません (cannot start .*vesmira\.exe: ' "$errors" ||
        { cat "$errors"; return 1; }
    [ -z "$(ls -A "$tmp")" ] || { echo "left in $tmp: $(ls -A "$tmp")"; return 1; }
}

check "the program's exit status is the launcher's: 0" ends_by_itself "exit 0" 0
check "the program's exit status is the launcher's: 3" ends_by_itself "exit 3" 3
check "a program ended by the system: its status, and no folder left" ends_by_itself "terminate 9" 9
check "subfolders and read-only files go too" ends_by_itself tree 0
check "two starts at once get two private folders" two_starts_get_two_folders
check "links planted in the folder: what they point to stays" planted_links_are_not_followed
check "leftovers go; running, foreign, linked or misnamed ones stay" leftovers_of_earlier_starts
check "launcher killed, program still holding its lock: folder kept, then removed" killed_launcher wait
check "launcher killed, program holding nothing open: folder kept, then removed" killed_launcher away
check "no private folder: no start, and the user is told" no_folder_no_start
check "no vesmira.exe: the user is told, and no folder is left" no_program_no_folder

finish "windows launcher" windows_launcher_tests "$results"
