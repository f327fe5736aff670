#!/bin/bash
# The installed Windows program's whole road under Wine, as a user walks it:
# setup.exe /S, the Start-menu entry, a birth date, 次へ, one school, 戻る,
# 完了 and OK, the failure box for a step file removed behind the program's
# back, the close box; the step files byte for byte as the Linux build writes
# them, nothing left afterwards, and a clean uninstall. Needs WINEPREFIX and
# DISPLAY with a window manager (scripts/windows-test.sh sets up both); the
# last line counts checks.
#
#   scripts/windows-road.sh [build-windows]
set -uo pipefail

dir=$(cd "${1:-build-windows}" && pwd)
setup=$(find "$dir" -maxdepth 1 -name "vesmira-*-setup.exe" | head -n 1)
: "${WINEPREFIX:?}" "${DISPLAY:?}"
user_dir="$WINEPREFIX/drive_c/users/$(id -un)"
# The user's temporary folder as Windows names it (%TEMP%), on this side.
temp_dir=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)
log=$(mktemp -d)
passed=0
failed=0

check() {  # check <what> <command...>
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "road: $what: ok"
    else
        failed=$((failed + 1))
        echo "road: $what: FAILED"
    fi
}

# The id of the newest visible window whose title matches $1, once it is
# there (up to 30 s: Wine's first start is slow).
window() {
    local i id
    for ((i = 0; i < 300; i++)); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1)
        [ -n "$id" ] && { sleep 0.3; echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
seen() { window "$1" >/dev/null; }
quiet() { "$@" >/dev/null 2>&1; }
gone() {
    local i
    for ((i = 0; i < 100; i++)); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.3; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }
folders() { find "$temp_dir" -maxdepth 1 -name 'vesmira.*' 2>/dev/null; }
# Only where the folder is there: an empty listing of nothing proves nothing.
no_step_files() { [ -d "$work" ] && [ -z "$(find "$work" -name 'temp.*')" ]; }
nothing_left() { [ -d "$temp_dir" ] && [ -z "$(folders)" ]; }
# What the Linux build writes for 10 May 1985 and then 高等学校.
expected=$(cd "$(dirname "$0")/../tests/windows" && pwd)

trap 'rm -rf "$log"' EXIT

check "setup.exe /S installs" wine "$setup" /S
link=$(find "$user_dir" -path '*Start Menu/Programs*' -name '*.lnk' 2>/dev/null | grep -i 'ヴェスミラ' | head -n 1)
check "Start-menu entry" test -n "$link"
check "entry in the installed programs" \
    quiet wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\vesmira' /v DisplayName

wine start /unix "$link" >"$log/start.log" 2>&1
step1=$(window '^STEP1')
check "started from the Start-menu entry: STEP1" test -n "$step1"
work=$(folders | head -n 1)
check "in a private folder of its own under Temp" test -n "$work"

# Into each field with a click, as a user does: the window manager shows a new
# window active, but Wine gives it the keyboard only once it is clicked.
type_into() { click "$step1" "$1" 26 && key ctrl+a && xdotool type "$2"; }
type_into 156 1985  # 年
type_into 212 5     # 月
type_into 260 10    # 日
key Return
step2=$(window '^STEP2')
check "次へ: STEP2" test -n "$step2"
check "temp.1 as on Linux" cmp "$work/temp.1" "$expected/road-temp.1"
key Return  # 高等学校, as offered
check "one school: STEP3" seen '^STEP3'
check "temp.2 as on Linux" cmp "$work/temp.2" "$expected/road-temp.2"
click "$step2" 240 100  # 戻る
check "戻る: STEP2 again" seen '^STEP2'
click "$step2" 296 100  # 次へ (Enter would press 戻る, which has the focus)
seen '^STEP3'
check "temp.2 as on Linux after 戻る and 次へ" cmp "$work/temp.2" "$expected/road-temp.2"
click "$step2" 24 96   # 最終学歴
click "$step2" 296 100  # 完了
check "完了: the 情報 dialog" seen '^情報$'
key Return            # OK
check "OK: STEP1 again" seen '^STEP1'
check "OK: no step files" no_step_files

click "$step1" 272 84    # 次へ
seen '^STEP2'
click "$step2" 296 100  # 次へ
seen '^STEP3'
rm -f "$work/temp.1"
click "$step2" 240 100  # 戻る
backdrop=$(xdotool search --onlyvisible --name '^ヴェスミラ$' | head -n 1)
box=""
for ((i = 0; i < 100; i++)); do
    for id in $(xdotool search --onlyvisible --name '^ヴェスミラ$' 2>/dev/null); do
        [ "$id" = "$backdrop" ] || box=$id
    done
    [ -n "$box" ] && break
    sleep 0.1
done
check "a step file removed behind its back: the failure box" test -n "$box"
key Return

xdotool windowactivate --sync "$step2" >/dev/null 2>&1
key alt+F4  # the close box
check "the close box ends the program" gone '^STEP'
for ((i = 0; i < 50; i++)); do [ -z "$(folders)" ] && break; sleep 0.1; done
check "nothing left in Temp" nothing_left

uninstaller=$(find "$user_dir/AppData/Local/Programs" -iname 'uninstall*.exe' 2>/dev/null | head -n 1)
check "uninstall.exe /S" wine "$uninstaller" /S
wineserver -w  # it goes on from a copy of itself
installed=$(dirname "$uninstaller")
check "uninstalled: the program's folder is gone" test ! -e "$installed"
check "uninstalled: no Start-menu entry" test ! -e "$link"
check "uninstalled: no entry in the installed programs" \
    bash -c "! wine reg query 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\vesmira' >/dev/null 2>&1"

echo "road: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
