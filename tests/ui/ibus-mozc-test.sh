#!/bin/bash
# The built program typed into through a real Japanese input method: ibus with
# the mozc engine in Hiragana mode, on a virtual X display of its own, driven
# with xdotool as a user types. One road through the wizard; each check is a
# case, written as JUnit XML to RESULT_XML for make test's count.
#
#   ibus-mozc-test.sh PROGRAM [RESULT_XML]
#
# mozc_server refuses to run as root and ibus-daemon serves only clients of its
# own user, so when started as root the whole session (D-Bus, the X server,
# ibus, the program) runs as nobody, with a throwaway HOME in a scratch folder:
# nobody exists on every Debian system, needs no account to be made, and owns
# nothing else the test could touch. Everything the session starts is stopped
# at the end, found by that HOME.
set -u

program=$1
results=${2:-}
missing=
for tool in Xvfb dbus-run-session ibus-daemon ibus xdotool setpriv; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
[ -x /usr/lib/ibus-mozc/ibus-engine-mozc ] || missing="$missing ibus-engine-mozc"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vesmira-ime.XXXXXX")
home=$scratch/home
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
chmod 755 "$scratch"
cases=$home/cases
: >"$cases"

stop_leftovers() {
    # Whatever the session started and left running (mozc_server, its
    # renderer, services the bus started) carries the throwaway HOME.
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        if { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "HOME=$home"; then
            pid=${environ#/proc/}
            pid=${pid%/environ}
            kill -9 "$pid" 2>/dev/null
        fi
    done
}
cleanup() {
    stop_leftovers
    rm -rf "$scratch"
}
trap cleanup EXIT

if [ -n "$missing" ]; then
    echo "setup|missing:$missing (scripts/install-deps.sh installs them)" >"$cases"
elif [ ! -x "$program" ]; then
    echo "setup|no program $program" >"$cases"
else
    # Copies the unprivileged user can run, wherever the tree and the build are.
    cp "$program" "$scratch/vesmira"
    cp "$(dirname "$0")/ime-session.sh" "$scratch/session.sh"
    chmod 755 "$scratch/vesmira" "$scratch/session.sh"
    drop=()
    if [ "$(id -u)" -eq 0 ]; then
        if ! user=$(id -u nobody) || ! group=$(id -g nobody); then
            echo "no user nobody" >&2
            exit 1
        fi
        chown -R "$user:$group" "$home"
        drop=(setpriv --reuid="$user" --regid="$group" --clear-groups)
        # The X server's socket folder, as the system would have made it.
        [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix
    fi
    timeout -k 5 240 "${drop[@]}" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$home" \
        XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
        XDG_RUNTIME_DIR="$home/runtime" LANG=C.UTF-8 TZ=Asia/Tokyo \
        dbus-run-session -- bash "$scratch/session.sh" "$scratch/vesmira" "$cases"
    status=$?
    [ "$status" -eq 0 ] || [ -s "$cases" ] ||
        echo "setup|the session ended with status $status" >>"$cases"
fi

passed=0
failed=0
xml=
escape() {
    printf '%s' "$1" | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g; s/"/\&quot;/g'
}
while IFS='|' read -r outcome name detail; do
    case $outcome in
        ok)
            passed=$((passed + 1))
            echo "ok      $name"
            xml="$xml<testcase name=\"$(escape "$name")\"/>
"
            ;;
        *)
            [ "$outcome" = setup ] && { detail=$name; name="the input method session starts"; }
            failed=$((failed + 1))
            echo "FAILED  $name: $detail"
            xml="$xml<testcase name=\"$(escape "$name")\"><failure message=\"$(escape "$detail")\"/></testcase>
"
            ;;
    esac
done <"$cases"
[ $((passed + failed)) -gt 0 ] || {
    failed=1
    xml="<testcase name=\"the input method session starts\"><failure/></testcase>"
}
echo "ibus-mozc: $passed passed, $failed failed"
if [ -n "$results" ]; then
    printf '<testsuite name="ime_tests">\n%s</testsuite>\n' "$xml" >"$results"
fi
[ "$failed" -eq 0 ]
