#!/bin/sh
# The installer and the zip under Wine, on a display of its own: what a
# silent install puts in place (files, Start-menu entry, the entry in the
# installed programs), and that a silent uninstall takes all of it away and
# nothing else.
# Usage: installer-test.sh SETUP ZIP CHECK [RESULT_XML]
# Runs in a Wine prefix of its own (VESMIRA_INSTALLER_WINEPREFIX), as it
# installs into the user's folders and registry there.
# shellcheck disable=SC1003 # backslashes of Windows paths
set -u
setup=$1
zip=$2
checker=$3
results=${4:-}
# shellcheck source-path=SCRIPTDIR source=checks.sh
. "$(dirname "$0")/checks.sh"
export WINEPREFIX="${VESMIRA_INSTALLER_WINEPREFIX:-$HOME/.cache/vesmira-windows/wine-installer}"
xvfb=
cleanup() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
Xvfb -displayfd 3 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
i=0
until [ -s "$scratch/display" ] || [ "$i" -gt 100 ]; do
    i=$((i + 1))
    sleep 0.1
done
display=$(cat "$scratch/display")
export DISPLAY=":$display"
"$WINE" wineboot -i >/dev/null 2>&1
wineserver -w

home=$WINEPREFIX/drive_c/users/$(id -un)
installed=$home/AppData/Local/Programs/ヴェスミラ
shortcut="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/ヴェスミラ.lnk"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\vesmira'
cp "$checker" "$scratch/check.exe"
cp "$setup" "$scratch/setup.exe"
mkdir "$scratch/zip"
(cd "$scratch/zip" && unzip -q "$zip") || exit 1
top=$(ls "$scratch/zip")

# The uninstaller runs from a copy of itself: done once Wine is idle.
uninstall() {
    "$WINE" "$(windows "$installed/uninstall.exe")" /S || return 1
    wineserver -w
}

# The key of the installed programs as reg export writes it: "name"=value.
registered() {
    rm -f "$scratch/key.reg"
    "$WINE" reg export "$key" "$(windows "$scratch/key.reg")" /y >/dev/null 2>&1 || return 1
    iconv -f UTF-16LE -t UTF-8 "$scratch/key.reg" | tr -d '\r'
}

# A string value as reg export writes it.
string() { printf '"%s"="%s"' "$1" "$(printf '%s' "$2" | sed 's/\\/\\\\/g; s/"/\\"/g')"; }

install_puts_the_zips_files_in_place() {
    "$WINE" "$(windows "$scratch/setup.exe")" /S || { echo "setup: status $?"; return 1; }
    wineserver -w
    (cd "$scratch/zip/$top" && find . -type f ! -name README.txt) | sort >"$scratch/files"
    [ -s "$scratch/files" ] || return 1
    while read -r file; do
        cmp "$scratch/zip/$top/$file" "$installed/$file" || return 1
    done <"$scratch/files"
    (cd "$installed" && find . -type f ! -name uninstall.exe) | sort | diff "$scratch/files" - ||
        { echo "installed, not in the zip"; return 1; }
    [ -f "$installed/uninstall.exe" ] || { echo "no uninstall.exe"; return 1; }
}

start_menu_entry() {
    [ -f "$shortcut" ] || { echo "no $shortcut"; return 1; }
    "$WINE" "$scratch/check.exe" shortcut "$(windows "$shortcut")" | tr -d '\r' >"$scratch/link"
    folder='C:\users\'$(id -un)'\AppData\Local\Programs\ヴェスミラ'
    for expected in "target=$folder\\vesmira-start.exe" "icon=$folder\\vesmira.exe,0" \
        'description=学歴の年月を求めるウィザード'; do
        grep -qxF "$expected" "$scratch/link" || { echo "no $expected in:"; cat "$scratch/link"; return 1; }
    done
}

installed_programs_entry() {
    registered >"$scratch/values" || { echo "no key $key"; return 1; }
    folder='C:\users\'$(id -un)'\AppData\Local\Programs\ヴェスミラ'
    for expected in "$(string DisplayName ヴェスミラ)" "$(string DisplayVersion "$VESMIRA_VERSION")" \
        "$(string DisplayIcon "$folder\vesmira.exe,0")" "$(string Publisher "Vesmira maintainers")" \
        "$(string UninstallString "\"$folder\uninstall.exe\"")" \
        "$(string QuietUninstallString "\"$folder\uninstall.exe\" /S")" \
        "$(string InstallLocation "$folder")" '"NoModify"=dword:00000001' '"NoRepair"=dword:00000001'; do
        grep -qxF "$expected" "$scratch/values" || { echo "no $expected in:"; cat "$scratch/values"; return 1; }
    done
    # Its size in KiB, at least that of the program.
    size=$(sed -n 's/^"EstimatedSize"=dword://p' "$scratch/values")
    if [ -z "$size" ] || [ "$(printf '%d' "0x$size")" -lt "$(du -sk "$installed/vesmira.exe" | cut -f1)" ]; then
        echo "EstimatedSize: $size"
        return 1
    fi
}

nothing_left() {
    [ ! -e "$shortcut" ] || { echo "the shortcut is left"; return 1; }
    ! "$WINE" reg query "$key" >/dev/null 2>&1 || { echo "the key is left"; return 1; }
}

uninstall_takes_all_away() {
    uninstall || { echo "uninstall: status $?"; return 1; }
    [ ! -e "$installed" ] || { echo "left:"; find "$installed"; return 1; }
    nothing_left
}

users_own_file_stays() {
    "$WINE" "$(windows "$scratch/setup.exe")" /S && wineserver -w || return 1
    echo "mine" >"$installed/my-notes.txt"
    uninstall || { echo "uninstall: status $?"; return 1; }
    [ "$(cd "$installed" && find . ! -name .)" = ./my-notes.txt ] ||
        { echo "left or gone:"; find "$installed"; return 1; }
    rm -f "$installed/my-notes.txt" && rmdir "$installed"
    nothing_left
}

# Notepad of any Windows shows lines only if they end in CR LF.
texts_have_windows_line_ends() {
    (cd "$scratch/zip/$top" && find . -name '*.txt') >"$scratch/texts"
    grep -q README.txt "$scratch/texts" || { echo "no README.txt"; return 1; }
    cr=$(printf '\r')
    while read -r text; do
        [ "$(tr -cd '\n' <"$scratch/zip/$top/$text" | wc -c)" -eq \
            "$(grep -c "$cr\$" "$scratch/zip/$top/$text")" ] || { echo "$text has bare LF line ends"; return 1; }
    done <"$scratch/texts"
    grep -q 'vesmira-start\.exe' "$scratch/zip/$top/README.txt"
}

# From an earlier run that failed half-way.
[ ! -f "$installed/uninstall.exe" ] || uninstall
check "silent install: the zip's files, and the uninstaller" install_puts_the_zips_files_in_place
check "Start-menu entry ヴェスミラ: the launcher, the program's icon" start_menu_entry
check "entry in the installed programs" installed_programs_entry
check "silent uninstall: files, shortcut and entry are gone" uninstall_takes_all_away
check "uninstall leaves a file of the user's" users_own_file_stays
check "texts in the zip have Windows line ends; README names the launcher" texts_have_windows_line_ends

finish "windows installer" windows_installer_tests "$results"
