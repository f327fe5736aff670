#!/bin/bash
# The session of ibus-mozc-test.sh, run as the unprivileged user inside
# dbus-run-session with a throwaway HOME: the X server, ibus with mozc, the
# program, then one road through the wizard typed as a user types. Each check
# adds a line "ok|name" or "FAIL|name|what was seen" to CASES; a set-up that
# fails adds "setup|what failed".
#
#   ime-session.sh PROGRAM CASES
#
# The checks and the waits run through check and within.
# shellcheck disable=SC2317
set -u
program=$1
results=$2
cd "$HOME" || exit 1
pids=
cleanup() {
    for started in $pids; do
        kill "$started" 2>/dev/null
    done
}
trap cleanup EXIT

# Polls "$@" every 0.1 s until it succeeds, for up to $seconds seconds.
seconds=20
within() {
    local i=0
    until "$@" >/dev/null 2>&1; do
        i=$((i + 1))
        [ "$i" -le $((seconds * 10)) ] || return 1
        sleep 0.1
    done
}
fail_setup() {
    echo "setup|$1" >>"$results"
    for log in "$HOME"/*.log; do
        echo "--- $log"
        tail -n 20 "$log"
    done
    exit 1
}

# mozc starts in Hiragana mode rather than in direct input.
mkdir -p "$XDG_CONFIG_HOME/mozc" work
cat >"$XDG_CONFIG_HOME/mozc/ibus_config.textproto" <<'EOF'
engines {
  name : "mozc-jp"
  longname : "Mozc"
  layout : "default"
  layout_variant : ""
  layout_option : ""
  rank : 80
}
active_on_launch: True
EOF

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>display 2>xvfb.log &
pids="$pids $!"
seconds=30 within test -s display || fail_setup "the X server did not start"
DISPLAY=:$(head -n 1 display)
export DISPLAY

# Its own bus address: nothing read from or written for a desktop session.
IBUS_ADDRESS=unix:path=$HOME/ibus.socket
export IBUS_ADDRESS
ibus-daemon --panel=disable --emoji-extension=disable --config=disable \
    --address="$IBUS_ADDRESS" >ibus.log 2>&1 &
pids="$pids $!"
engine_is_mozc() {
    ibus engine mozc-jp >/dev/null 2>&1
    [ "$(ibus engine 2>/dev/null)" = mozc-jp ]
}
seconds=30 within engine_is_mozc || fail_setup "ibus did not take the mozc engine"

(cd work && QT_IM_MODULE=ibus exec "$program") >program.log 2>&1 &
app=$!
pids="$pids $app"

window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}
visible() {
    [ -n "$(window "$1")" ]
}
seconds=60 within visible 'STEP1（中学卒業まで）' || fail_setup "the program did not show STEP1"
# Without a window manager the first window gets the keyboard by hand.
timeout 10 xdotool windowfocus --sync "$(window 'STEP1（中学卒業まで）')" ||
    fail_setup "STEP1 did not take the keyboard"

# What the user types: keys by name, romaji to the input method.
keys() {
    xdotool key --delay 80 "$@"
}
romaji() {
    xdotool type --delay 80 "$1"
}
# Converts the reading and commits it; the input method answers before
# the next key is typed.
convert_and_commit() {
    keys space
    sleep 0.3
    keys Return
    sleep 0.3
}
# The line of a step file after its first (the cursor year), by number.
line_of() {
    sed -n "$(($2 + 1))p" "work/$1" 2>/dev/null | tr -d '\r'
}
expect_line() {
    local got
    got=$(line_of "$1" "$2")
    [ "$got" = "$3" ] || { echo "$1 line $2: '$got', not '$3'"; return 1; }
}
expect_window() {
    seconds=30 within visible "$1" || {
        echo "no window '$1'; windows:"
        xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null
        return 1
    }
}

check() {
    local description=$1 out
    shift
    if out=$("$@" 2>&1); then
        echo "ok|$description" >>"$results"
    else
        echo "FAIL|$description|$(printf '%s' "$out" | tr '\n|' '  ')" >>"$results"
    fi
}

# STEP1: Tab into the era (which selects 西暦), しょうわ converted and
# committed with Enter.
era_by_reading() {
    keys shift+Tab Tab
    romaji shouwa
    convert_and_commit
    sleep 0.5
    if visible 'STEP2（中学卒業後）' || ! visible 'STEP1（中学卒業まで）'; then
        echo "the Enter that committed the reading pressed 次へ"
        return 1
    fi
}
check "the Enter that commits a conversion does not press 次へ" era_by_reading

birth_date() {
    keys Tab
    romaji 60
    keys Tab
    romaji 5
    keys Tab
    romaji 10
    keys Return
    expect_window 'STEP2（中学卒業後）' &&
        expect_line temp.1 1 '1985（昭和60）年5月10日生まれのあなたの'
}
check "era reading over text selected by Tab gives 昭和; numeric fields take ASCII digits" \
    birth_date

# STEP2 comes up with 高等学校 selected: だいがく over it.
school_over_selection() {
    romaji daigaku
    convert_and_commit
    keys Return
    expect_window 'STEP3（大学卒業後）' &&
        expect_line temp.2 7 '大学卒業は2005（平成17）年3月'
}
check "a reading over the selected text: 大学 completes to the item (4 years)" \
    school_over_selection

# 高等 completes to 高等学校 with 学校 highlighted; 専門学校 is typed over it.
school_over_highlight() {
    keys ctrl+a
    romaji koutou
    convert_and_commit
    romaji senmongakkou
    convert_and_commit
    keys Return
    expect_window 'STEP4（高等専門学校卒業後）' &&
        expect_line temp.3 9 '高等専門学校卒業は2010（平成22）年3月'
}
check "a reading over the completion's highlight: 高等 then 専門学校 (5 years)" \
    school_over_highlight

# A name of one's own, then こう typed after it and cancelled with Esc.
own_name_then_cancel() {
    keys ctrl+a
    romaji wasedadaigaku
    convert_and_commit
    romaji kou
    sleep 0.3
    keys Escape
    sleep 0.3
    keys Return
    expect_window 'STEP5（早稲田大学卒業後）'
}
check "Esc cancels a reading for good: the next Enter does not bring it back" \
    own_name_then_cancel
own_name() {
    expect_line temp.4 10 '早稲田大学入学は2010（平成22）年4月' &&
        expect_line temp.4 11 '早稲田大学卒業は2011（平成23）年3月'
}
check "a name of one's own reaches the step file verbatim, with course length 1" own_name

kill -0 "$app" 2>/dev/null || echo "FAIL|the program runs to the end|it ended early" >>"$results"
if grep -q '^FAIL' "$results"; then
    echo "--- windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' ' ')"
    for log in "$HOME"/*.log; do
        echo "--- $log"
        tail -n 20 "$log"
    done
fi
exit 0
