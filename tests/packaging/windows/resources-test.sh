#!/bin/sh
# The icon, version information and subsystem of the Windows programs, as
# Windows (Wine) reads them.
# Usage: resources-test.sh VERSION CHECK OBJDUMP RESULT_XML PROGRAM...
# shellcheck disable=SC1003 # backslashes of Windows paths
set -u
version=$1
checker=$2
objdump=$3
results=$4
shift 4
# shellcheck source-path=SCRIPTDIR source=checks.sh
. "$(dirname "$0")/checks.sh"
export WINEPREFIX="${WINEPREFIX:-$HOME/.cache/vesmira-windows/wine-tests}"
trap 'rm -rf "$scratch"' EXIT

# Version information: the Japanese strings as UTF-16 came out of UTF-8.
version_information() {
    "$WINE" "$scratch/check.exe" version "$(windows "$scratch/$(basename "$1")")" | tr -d '\r' >"$scratch/version" ||
        { cat "$scratch/version"; return 1; }
    name=$(basename "$1")
    for expected in "fixed=$version.0" 'block=\StringFileInfo\041104b0\' 'ProductName=ヴェスミラ' \
        "FileVersion=$version" "ProductVersion=$version" "OriginalFilename=$name" \
        "InternalName=${name%.exe}" 'CompanyName=Vesmira maintainers'; do
        grep -qxF "$expected" "$scratch/version" ||
            { echo "no $expected in:"; cat "$scratch/version"; return 1; }
    done
    grep -qx 'FileDescription=ヴェスミラ .*' "$scratch/version" ||
        { echo "description:"; cat "$scratch/version"; return 1; }
}

icons() {
    "$WINE" "$scratch/check.exe" icons "$(windows "$scratch/$(basename "$1")")" | tr -d '\r' >"$scratch/icons" ||
        { cat "$scratch/icons"; return 1; }
    printf 'icon %sx%s 32\n' 16 16 32 32 48 48 64 64 128 128 | cmp -s - "$scratch/icons" ||
        { cat "$scratch/icons"; return 1; }
}

# The GUI subsystem: started from Explorer or the launcher, no console opens.
no_console() {
    "$objdump" -p "$1" | grep -q '^Subsystem[[:space:]]*00000002' ||
        { "$objdump" -p "$1" | grep Subsystem; return 1; }
}

# Every DLL it loads at its start is one that Windows has (a fresh Wine
# prefix has the same): the packages ship none.
system_dlls_only() {
    system32=$WINEPREFIX/drive_c/windows/system32
    "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' >"$scratch/dlls"
    [ -s "$scratch/dlls" ] || { echo "no imports read"; return 1; }
    while read -r dll; do
        dll=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
        # api-ms-win-*: Windows' own API sets, which Windows resolves itself
        # (and Wine too, without a file for each).
        case $dll in api-ms-win-*) continue ;; esac
        [ -f "$system32/$dll" ] ||
            { echo "needs $dll, which Windows does not have"; return 1; }
    done <"$scratch/dlls"
}

"$WINE" wineboot -i >/dev/null 2>&1
cp "$checker" "$scratch/check.exe"
for program in "$@"; do
    cp "$program" "$scratch/"
    name=$(basename "$program")
    check "$name: version information" version_information "$program"
    check "$name: icon of five sizes" icons "$program"
    check "$name: no console window" no_console "$program"
    check "$name: only DLLs of Windows" system_dlls_only "$program"
done

finish "windows resources" windows_resources_tests "$results"
