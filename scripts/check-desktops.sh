#!/bin/bash
# Walks the wizard's road on a virtual screen (1280x1024, a 40-pixel panel
# along the top) under the window manager of each common desktop: openbox,
# xfwm4 of Xfce and mutter of GNOME, on X and as GNOME's Wayland session with
# XWayland (mutter-wayland), kwin of KDE when named; at scale 1 and 2. It
# measures where the window manager put each window, frame included:
# the backdrop covers the available area, the step windows stand where they
# were designed to or moved the least that keeps them inside, each dialog is
# centred on the available area, and no window leaves it. One line per window
# manager, scale and check; the last line counts them.
#
#   scripts/check-desktops.sh [build dir] [window manager...]
#
# A window manager that cannot be started, or a window that never appears,
# is a failed check, never a skipped one. CHECK_DESKTOPS_LOGS=<folder> keeps
# the program's output of each run there.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
shift || true
program="$top/$build/app/vesmira"
# kwin only when named: its packages are too large to install for every run.
managers=("$@")
[ ${#managers[@]} -gt 0 ] || managers=(openbox xfwm4 mutter mutter-wayland)

screen_w=1280
screen_h=1024
panel_h=40
centre_tolerance=8
# Pixels that rounding at a scale factor may cost a window placed exactly.
exact_tolerance=2
# The step windows' designed frame positions (left, top), in the program's
# own pixels.
step1_at=(330 274)
step2_at=(330 275)

passed=0
failed=0

# One check's line: "<manager> scale <n>: <what>: ok" or "... FAILED (<why>)".
report() {
    if [ "$2" = ok ]; then
        passed=$((passed + 1))
        echo "$label: $1: ok" >>"$lines"
    else
        failed=$((failed + 1))
        echo "$label: $1: FAILED ($2)" >>"$lines"
    fi
}

# The frame of a window as the window manager placed it: "x y w h", from the
# client's place on the root window and the frame extents the manager sets.
frame_of() {
    local x y w h l r t b extents
    read -r x y w h < <(xwininfo -id "$1" 2>/dev/null | awk '
        /Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
        /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 }
        END { print x, y, w, h }')
    extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
    IFS=, read -r l r t b <<<"${extents:-0,0,0,0}"
    [ -n "$x" ] || return 1
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

# The available area: the work area the window manager publishes.
available_area() {
    xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ' |
        awk -F, -v w="$screen_w" -v h="$screen_h" '
            { if (NF >= 4) { print $1, $2, $3, $4; found = 1 } }
            END { if (!found) print 0, 0, w, h }'
}

# Waits for a visible window whose title matches $1 and is not one of the
# ids in $2; prints its id once its frame has stopped changing.
settled_window() {
    local id="" last="" now="" seen=0 i candidate
    for ((i = 0; i < 100; i++)); do
        if [ -z "$id" ]; then
            for candidate in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
                case " ${2:-} " in *" $candidate "*) ;; *) id=$candidate ;; esac
            done
        fi
        if [ -n "$id" ]; then
            now=$(frame_of "$id" || true)
            if [ -n "$now" ] && [ "$now" = "$last" ]; then
                seen=$((seen + 1))
                if [ "$seen" -ge 3 ]; then
                    echo "$id"
                    return 0
                fi
            else
                seen=0
            fi
            last=$now
        fi
        sleep 0.1
    done
    [ -z "$id" ] || echo "$id"
}

# Where a frame of size w h designed at x y belongs in the area: where it was
# designed, moved the least that brings it inside.
expected_place() {
    local x=$1 y=$2 w=$3 h=$4 ax ay aw ah
    read -r ax ay aw ah <<<"$5"
    x=$((x + w > ax + aw ? ax + aw - w : x))
    y=$((y + h > ay + ah ? ay + ah - h : y))
    x=$((x < ax ? ax : x))
    y=$((y < ay ? ay : y))
    echo "$x $y"
}

inside() {
    local x y w h ax ay aw ah
    read -r x y w h <<<"$1"
    read -r ax ay aw ah <<<"$2"
    [ "$x" -ge "$ax" ] && [ "$y" -ge "$ay" ] && [ $((x + w)) -le $((ax + aw)) ] &&
        [ $((y + h)) -le $((ay + ah)) ]
}

# Whether $1 and $2 differ by at most $3.
near() {
    [ $(($1 - $2)) -le "$3" ] && [ $(($2 - $1)) -le "$3" ]
}

check_backdrop() {
    local frame area x y w h ax ay aw ah t=$exact_tolerance
    frame=$(frame_of "$1") || { report "backdrop covers the available area" "no window"; return; }
    area=$(available_area)
    read -r x y w h <<<"$frame"
    read -r ax ay aw ah <<<"$area"
    if near "$x" "$ax" "$t" && near "$y" "$ay" "$t" && near "$w" "$aw" "$t" &&
        near "$h" "$ah" "$t"; then
        report "backdrop covers the available area ($frame)" ok
    else
        report "backdrop covers the available area" "frame $frame, area $area"
    fi
}

# $1 title, $2 id, $3 $4 designed left and top in the program's pixels.
check_step() {
    local frame area x y w h ex ey
    frame=$(frame_of "$2") || { report "$1 in place" "no window"; return; }
    area=$(available_area)
    read -r x y w h <<<"$frame"
    read -r ex ey < <(expected_place $(($3 * scale)) $(($4 * scale)) "$w" "$h" "$area")
    if inside "$frame" "$area" && near "$x" "$ex" "$exact_tolerance" &&
        near "$y" "$ey" "$exact_tolerance"; then
        report "$1 at $ex,$ey, inside the screen ($frame)" ok
    else
        report "$1 at $ex,$ey, inside the screen" "frame $frame, area $area"
    fi
}

check_dialog() {
    local frame area x y w h ax ay aw ah dx dy
    if [ -z "$2" ]; then
        report "$1 centred and whole" "never appeared"
        return
    fi
    frame=$(frame_of "$2") || { report "$1 centred and whole" "no window"; return; }
    area=$(available_area)
    read -r x y w h <<<"$frame"
    read -r ax ay aw ah <<<"$area"
    dx=$((2 * x + w - 2 * ax - aw))
    dy=$((2 * y + h - 2 * ay - ah))
    dx=$((${dx#-} / 2))
    dy=$((${dy#-} / 2))
    if inside "$frame" "$area" && [ "$dx" -le "$centre_tolerance" ] &&
        [ "$dy" -le "$centre_tolerance" ]; then
        report "$1 centred ($dx, $dy px off) and whole ($frame)" ok
    else
        report "$1 centred and whole" "frame $frame, $dx, $dy px off the centre of $area"
    fi
}

# Clicks at x y of a window's client area, in the program's pixels.
click() {
    xdotool mousemove --window "$1" $(($2 * scale)) $(($3 * scale)) click 1
}

wait_gone() {
    local i
    for ((i = 0; i < 50; i++)); do
        xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
        sleep 0.1
    done
}

# Starts the window manager $1 on $DISPLAY; fails unless it has taken the
# screen (published its check window) within 30 s.
start_manager() {
    case $1 in
        openbox) openbox >"$work/wm.log" 2>&1 & ;;
        xfwm4) xfwm4 >"$work/wm.log" 2>&1 & ;;
        mutter) mutter --x11 --replace >"$work/wm.log" 2>&1 & ;;
        kwin) kwin_x11 --replace >"$work/wm.log" 2>&1 & ;;
        *) echo "unknown window manager $1" >"$work/wm.log"; return 1 ;;
    esac
    wm_pid=$!
    local i
    for ((i = 0; i < 300; i++)); do
        if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
            sleep 0.5  # settles its work area and key bindings
            return 0
        fi
        kill -0 "$wm_pid" 2>/dev/null || break
        sleep 0.1
    done
    return 1
}

# A virtual screen of its own: Xvfb on a free display, which DISPLAY names.
start_x_server() {
    exec 3>"$work/display"
    # -noreset: the server must not reset when the probe below disconnects.
    Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    local i
    for ((i = 0; i < 100; i++)); do
        if [ -s "$work/display" ]; then
            DISPLAY=":$(head -n 1 "$work/display")"
            export DISPLAY
            xprop -root >/dev/null 2>&1 && return 0
        fi
        sleep 0.1
    done
    report "virtual screen" "Xvfb did not start: $(tail -n 2 "$work/xvfb.log" | tr '\n' ' ')"
    return 1
}

# GNOME's own session: mutter as a Wayland compositor on a virtual monitor,
# with the X server it runs for X clients (XWayland), whose display and
# authority it names in its log. The program is told of both, as a desktop
# entry started there is.
start_wayland_session() {
    WAYLAND_DISPLAY="vesmira-check-$$"
    mutter --wayland --headless --virtual-monitor "${screen_w}x${screen_h}" \
        --wayland-display="$WAYLAND_DISPLAY" >"$work/wm.log" 2>&1 &
    wm_pid=$!
    local i
    for ((i = 0; i < 300; i++)); do
        DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$work/wm.log")
        XAUTHORITY=$(find "$work" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n 1)
        if [ -n "$DISPLAY" ] && [ -n "$XAUTHORITY" ]; then
            export DISPLAY XAUTHORITY WAYLAND_DISPLAY XDG_SESSION_TYPE=wayland
            # XWayland starts when the first X client comes.
            local j
            for ((j = 0; j < 100; j++)); do
                xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
                sleep 0.1
            done
            break
        fi
        kill -0 "$wm_pid" 2>/dev/null || break
        sleep 0.1
    done
    report "Wayland session with XWayland started" "$(tail -n 3 "$work/wm.log" | tr '\n' ' ')"
    return 1
}

# One window manager at one scale, run inside a D-Bus session of its own.
run_one() {
    local manager=$1
    unset DISPLAY
    scale=$2
    label="$manager scale $scale"
    work=$(mktemp -d)
    chmod 700 "$work"
    xvfb_pid=""
    app_pid=""
    wm_pid=""
    panel_pid=""
    # shellcheck disable=SC2317 # run by the trap
    cleanup() {
        set +eu
        [ -z "$CHECK_DESKTOPS_LOGS" ] || cp "$work/app.log" "$CHECK_DESKTOPS_LOGS/${label// /-}.log"
        for pid in $app_pid $panel_pid $wm_pid $xvfb_pid; do
            kill "$pid" 2>/dev/null
        done
        wait 2>/dev/null
        rm -rf "$work"
    }
    trap cleanup EXIT
    export XDG_RUNTIME_DIR="$work"

    if [ "$manager" = mutter-wayland ]; then
        start_wayland_session || return 0
    else
        start_x_server || return 0
        # Services the window manager starts through D-Bus need the display.
        dbus-update-activation-environment DISPLAY XDG_RUNTIME_DIR 2>/dev/null || true
        if ! start_manager "$manager"; then
            report "window manager started" "$(tail -n 3 "$work/wm.log" | tr '\n' ' ')"
            return
        fi
    fi

    # A panel along the top, as desktops have: the available area is then
    # smaller than the screen.
    xmessage -geometry "${screen_w}x${panel_h}+0+0" panel >/dev/null 2>&1 &
    panel_pid=$!
    local panel="" area=""
    for ((i = 0; i < 50; i++)); do
        panel=$(xdotool search --class Xmessage 2>/dev/null | head -n 1) && [ -n "$panel" ] && break
        sleep 0.1
    done
    if [ -n "$panel" ]; then
        xprop -id "$panel" -f _NET_WM_STRUT 32c -set _NET_WM_STRUT "0,0,$panel_h,0"
        xprop -id "$panel" -f _NET_WM_STRUT_PARTIAL 32c \
            -set _NET_WM_STRUT_PARTIAL "0,0,$panel_h,0,0,0,0,0,0,$((screen_w - 1)),0,0"
        for ((i = 0; i < 50; i++)); do
            area=$(available_area)
            [ "$area" = "0 $panel_h $screen_w $((screen_h - panel_h))" ] && break
            sleep 0.1
        done
    fi
    if [ "$area" = "0 $panel_h $screen_w $((screen_h - panel_h))" ]; then
        report "a panel leaves the available area $area" ok
    else
        report "a panel leaves the available area" "work area ${area:-unknown}"
    fi

    mkdir "$work/run"
    (cd "$work/run" && QT_SCALE_FACTOR=$scale exec "$program" >"$work/app.log" 2>&1) &
    app_pid=$!

    local backdrop step1 step2 dialog
    step1=$(settled_window '^STEP1')
    backdrop=$(settled_window '^ヴェスミラ$')
    if [ -z "$step1" ] || [ -z "$backdrop" ]; then
        report "the wizard's windows appear" "$(tail -n 3 "$work/app.log" | tr '\n' ' ')"
        return
    fi
    check_backdrop "$backdrop"
    check_step STEP1 "$step1" "${step1_at[@]}"

    # An empty year, left with Tab: the error dialog.
    xdotool windowactivate --sync "$step1" 2>/dev/null || true
    xdotool key --clearmodifiers Tab BackSpace Tab
    dialog=$(settled_window '^エラー$')
    check_dialog "エラー dialog" "$dialog"
    [ -z "$dialog" ] || { xdotool key Return; wait_gone "$dialog"; }

    # On to STEP2, then STEP3; the step file that 戻る reads there (temp.1) is
    # then given a first line of 1 MiB, so that 戻る shows the failure in the
    # box, as tall as the screen lets it be.
    xdotool key shift+Tab && xdotool type 1985
    xdotool key Return
    step2=$(settled_window '^STEP2')
    if [ -z "$step2" ]; then
        report "STEP2 appears" "never appeared"
        return
    fi
    check_step STEP2 "$step2" "${step2_at[@]}"
    xdotool key Return
    if [ -z "$(settled_window '^STEP3')" ]; then
        report "STEP3 appears" "never appeared"
        return
    fi
    { head -c $((1024 * 1024 - 2)) /dev/zero | tr '\0' x; printf '\r\n'; } >"$work/run/temp.1"
    click "$step2" 240 100  # 戻る
    dialog=$(settled_window '^ヴェスミラ$' "$backdrop")
    check_dialog "failure box (1 MiB text)" "$dialog"
    [ -z "$dialog" ] || { xdotool key Return; wait_gone "$dialog"; }

    # 最終学歴, 完了: the information dialog with the history.
    click "$step2" 24 96  # 最終学歴
    xdotool key Return
    dialog=$(settled_window '^情報$')
    check_dialog "情報 dialog" "$dialog"
    [ -z "$dialog" ] || { xdotool key Return; wait_gone "$dialog"; }
}

for tool in Xvfb xdotool xprop xwininfo dbus-run-session; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing: $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
if [ ! -x "$program" ]; then
    echo "no program at $program: build it first (make build)" >&2
    exit 1
fi

# Inside the D-Bus session of one run: the run's lines and then its counts
# to the files the caller named.
if [ -n "${CHECK_DESKTOPS_COUNTS:-}" ]; then
    lines=$CHECK_DESKTOPS_LINES
    run_one "${managers[0]}" "$CHECK_DESKTOPS_SCALE"
    echo "$passed $failed" >"$CHECK_DESKTOPS_COUNTS"
    exit 0
fi

counts=$(mktemp)
lines=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$counts" "$lines" "$errors"' EXIT
for manager in "${managers[@]}"; do
    for scale in 1 2; do
        : >"$counts"
        : >"$lines"
        # What the window managers and the session's services print is shown
        # only when a run breaks off.
        CHECK_DESKTOPS_COUNTS=$counts CHECK_DESKTOPS_LINES=$lines CHECK_DESKTOPS_SCALE=$scale \
            dbus-run-session -- "$0" "$build" "$manager" >"$errors" 2>&1 || true
        cat "$lines"
        if ! read -r p f <"$counts"; then
            p=0
            f=1
            tail -n 20 "$errors" >&2
            echo "$manager scale $scale: the run ended early: FAILED"
        fi
        passed=$((passed + p))
        failed=$((failed + f))
    done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
