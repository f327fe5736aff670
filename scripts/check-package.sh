#!/bin/sh
# Builds the Debian package (make package), unpacks it into a scratch root and
# checks what a user installing it relies on: the program, which starts; the
# menu entry and its icon in the standard places; and the declared Depends.
set -eu
cd "$(dirname "$0")/.."

PKG_DIR=${PKG_DIR:-build-pkg}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
rm -f "$PKG_DIR"/vesmira_*.deb
make -s package PKG_DIR="$PKG_DIR" >"$root/.build" 2>&1 || { cat "$root/.build" >&2; exit 1; }

set -- "$PKG_DIR"/vesmira_*.deb
deb=$1
dpkg-deb -x "$deb" "$root"
echo "checking $deb"

passed=0
failed=0
check() {
    description=$1
    shift
    if "$@" >"$root/.out" 2>&1; then
        passed=$((passed + 1))
        echo "ok      $description"
    else
        failed=$((failed + 1))
        echo "FAILED  $description"
        sed 's/^/        /' "$root/.out"
    fi
}

bin="$root/usr/bin/vesmira"
desktop="$root/usr/share/applications/vesmira.desktop"
icon="$root/usr/share/icons/hicolor/scalable/apps/vesmira.svg"
launcher="$root/usr/libexec/vesmira/vesmira-launch"
depends=$(dpkg-deb -f "$deb" Depends)

has_line() { grep -qx -- "$2" "$1"; }
depends_on() { echo "$depends" | tr ',|' '\n' | sed 's/^ *//; s/ .*//' | grep -qx -- "$1"; }
is_elf() { [ -x "$1" ] && [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = "177ELF" ]; }
links_resolve() { ! ldd "$1" | grep 'not found'; }
# It has no command line and no way to end by itself: still running after two
# seconds on the offscreen platform means it came up.
starts() {
    dir=$(mktemp -d)
    status=0
    (cd "$dir" && QT_QPA_PLATFORM=offscreen timeout 2 "$1") || status=$?
    rm -rf "$dir"
    [ "$status" -eq 124 ]
}

# The launcher, with the program swapped for a stand-in that reports its
# folder and that folder's mode and owner: each start must run in a new
# private folder inside the runtime folder, removed once the program ends.
launches_in_own_folder() {
    runtime=$(mktemp -d)
    standin="$runtime.standin"
    printf '#!/bin/sh\npwd\nstat -c "%%a %%u" .\n' >"$standin"
    chmod +x "$standin"
    sed "s|^program=.*|program='$standin'|" "$1" >"$runtime.launch"
    out=$(XDG_RUNTIME_DIR="$runtime" HOME=/nonexistent sh "$runtime.launch")
    rm -f "$standin" "$runtime.launch"
    left=$(ls -A "$runtime")
    rm -rf "$runtime"
    where=$(echo "$out" | sed -n 1p)
    echo "ran in $where ($(echo "$out" | sed -n 2p)); left behind: ${left:-nothing}"
    case $where in
        "$runtime"/vesmira.?*) ;;
        *) return 1 ;;
    esac
    [ "$(echo "$out" | sed -n 2p)" = "700 $(id -u)" ] && [ -z "$left" ]
}

check "program in /usr/bin, executable" is_elf "$bin"
check "program's libraries all found" links_resolve "$bin"
check "program starts" starts "$bin"
check "menu entry in /usr/share/applications" test -f "$desktop"
if command -v desktop-file-validate >/dev/null 2>&1; then
    check "menu entry valid (desktop-file-validate)" desktop-file-validate "$desktop"
fi
check "menu entry named ヴェスミラ" has_line "$desktop" "Name=ヴェスミラ"
check "menu entry starts the launcher" has_line "$desktop" "Exec=/usr/libexec/vesmira/vesmira-launch"
check "launcher starts /usr/bin/vesmira" has_line "$launcher" "program='/usr/bin/vesmira'"
check "launcher gives each start a private folder, removed at the end" launches_in_own_folder "$launcher"
check "menu entry's icon is vesmira" has_line "$desktop" "Icon=vesmira"
check "menu entry matches the window class" has_line "$desktop" "StartupWMClass=vesmira"
check "icon in hicolor/scalable/apps, SVG" grep -q "<svg" "$icon"
for package in libqt6widgets6 qt6-qpa-plugins fonts-ipafont-gothic; do
    check "depends on $package" depends_on "$package"
done

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
