#!/bin/sh
# Builds the Debian package (make package), unpacks it into a scratch root and
# checks what a user installing it relies on: the program, which starts; the
# menu entry and its icon in the standard places; and the declared Depends.
# Then what Debian asks of a package: lintian without errors or warnings, the
# copyright file, changelog and manual page, and the AppStream metadata.
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
# The window icon is built in, drawn from PNG: no SVG plugin is asked for.
wants_no_svg_plugin() { ! dpkg-deb -f "$deb" Depends Recommends | grep -i svg; }
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
check "no SVG plugin wanted for the window icon" wants_no_svg_plugin
for package in libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n fonts-ipafont-gothic; do
    check "depends on $package" depends_on "$package"
done

doc="$root/usr/share/doc/vesmira"
manpage="$root/usr/share/man/man1/vesmira.1.gz"
metainfo="$root/usr/share/metainfo/vesmira.metainfo.xml"
version=$(dpkg-deb -f "$deb" Version)

# Machine-readable (DEP-5): the format line, a paragraph for every file, and
# the licence text it names.
dep5_copyright() {
    head -n 1 "$1" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
        grep -qx 'Files: \*' "$1" && grep -q '^License: ' "$1"
}
# The newest entry names the version being packaged.
changelog_names_version() {
    newest=$(zcat "$1" | dpkg-parsechangelog -l - -S Version)
    echo "newest entry: $newest"
    [ "$newest" = "$version" ]
}
manpage_renders_cleanly() {
    warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 "$1" 2>&1 >/dev/null)
    echo "$warnings"
    [ -z "$warnings" ]
}
names_in_whatis() { lexgrog "$1" | grep -q '"vesmira - '; }
# appstreamcli validate, allowing only what follows from the project having no
# web address yet: a component id that is not a reverse domain name (there is
# no domain to build one from), no homepage, and the screenshot given as the
# installed file rather than a web URL. Anything else fails.
metainfo_validates() {
    appstreamcli validate --no-net "$1" >"$root/.validate" 2>&1 || true
    cat "$root/.validate"
    grep -q 'Validation' "$root/.validate" &&
        ! grep -E '^[EW]: ' "$root/.validate" |
        grep -v -E ': (cid-desktopapp-is-not-rdns|url-homepage-missing)( |$)|: web-url-expected file://'
}
metainfo_screenshot_in_package() {
    shot=$(sed -n 's|.*<image[^>]*>file://\(.*\)</image>.*|\1|p' "$1")
    [ -z "$shot" ] || [ "$(head -c 4 "$root$shot" | od -An -c | tr -d ' ')" = "211PNG" ]
}

if command -v lintian >/dev/null 2>&1; then
    check "lintian: no errors or warnings" lintian --fail-on error,warning "$deb"
fi
check "copyright in /usr/share/doc/vesmira, machine-readable" dep5_copyright "$doc/copyright"
check "changelog.gz names version $version" changelog_names_version "$doc/changelog.gz"
check "manual page vesmira(1) in man1, gzipped" gzip -t "$manpage"
if command -v man >/dev/null 2>&1; then
    check "manual page renders without warnings" manpage_renders_cleanly "$manpage"
    check "manual page has a whatis entry" names_in_whatis "$manpage"
fi
check "metainfo in /usr/share/metainfo" test -f "$metainfo"
if command -v appstreamcli >/dev/null 2>&1; then
    check "metainfo validates (appstreamcli)" metainfo_validates "$metainfo"
fi
check "metainfo launches the menu entry" grep -q '<launchable type="desktop-id">vesmira.desktop</launchable>' "$metainfo"
check "metainfo lists release $version" grep -q "<release version=\"$version\"" "$metainfo"
check "metainfo's screenshot is in the package" metainfo_screenshot_in_package "$metainfo"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
