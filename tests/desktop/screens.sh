#!/usr/bin/env bash
# Starts the real fernhold on a virtual X display with a real tray host in a
# temporary home and goes through the desktop as a person would: the splash
# and monitor at start-up, a second start, the icon's colour after
# --signal inactive and active, the icon menu and the about box, the tray
# host killed and started again, Quit while a pass copies a large file (the
# end-of-program window), SIGTERM while the about box is open, and a start
# without a tray host. Takes a PNG of each window into OUTDIR and fails when
# a window is missing or blank, shows a text key instead of its text, or the
# program does not end in order.
#
#   tests/desktop/screens.sh OUTDIR [FERNHOLD]
set -euo pipefail

out="$(mkdir -p "$1" && cd "$1" && pwd)"
program="${2:-$(dirname "$0")/../../build/test/src/app/fernhold}"
program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"

# shellcheck source=desktop_common.sh
source "$(dirname "$0")/desktop_common.sh"
desktop_setup screens.sh 90 1024x768x24
note() { echo "screens.sh: $*"; }

# Sources and a target, so the monitor shows a real status line.
mkdir -p "$home/docs" "$home/backup"
for i in $(seq 400); do head -c 20000 /dev/urandom >"$home/docs/file$i.bin"; done
"$program" source add "$home/docs" >/dev/null
for setting in "TargetDir $home/backup/" "ProgrammStatus 1" "MonitorActive 1" \
    "ShowSplashScreen 1" "LogfileActive 1" "CompressData 0" "BackupSize 99999" \
    "WaitAtProgramEnd 5"; do
    # shellcheck disable=SC2086
    "$program" config set $setting >/dev/null
done
log="$XDG_CONFIG_HOME/fernhold/fernhold.log"

shot() { # window name, file, expected words
    local id
    if ! id="$(window "$1")"; then
        fail "no window \"$1\""
        return 1
    fi
    sleep 0.5
    import -window "$id" "$out/$2"
    check "$out/$2" "$1" "${3:-}"
}

# Waits up to $2 seconds for process $1 to end; its exit code in $ended.
ended=""
wait_end() {
    local p="$1"
    for _ in $(seq $(($2 * 10))); do
        kill -0 "$p" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$p" 2>/dev/null; then
        ended="running"
        return 1
    fi
    ended=0
    wait "$p" || ended=$?
}

# The share of the icon's pixels in the colour $1.
icon_share() {
    icon_place || { echo 0; return; }
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$home/icon.png"
    convert "$home/icon.png" -alpha off -fuzz 12% -fill white -opaque "$1" \
        -fill black +opaque white -format '%[fx:mean]' info:
}

# Waits until the icon is mostly drawn in colour $1 (active green, inactive
# red); keeps its picture as $2.
icon_turns() {
    local share
    for _ in $(seq 40); do
        share="$(icon_share "$1")"
        if awk "BEGIN { exit !($share > 0.15) }"; then
            cp "$home/icon.png" "$out/$2"
            return 0
        fi
        sleep 0.25
    done
    cp "$home/icon.png" "$out/$2"
    fail "the icon did not turn $1 (share $share, $out/$2)"
}
green="#2e9d4f"
red="#c8372d"

start_tray

# 1. Start-up: splash and monitor.
"$program" >"$home/fernhold1.out" 2>&1 &
fernhold=$!
pids+=($fernhold)
shot "Fernhold - continuous file backup" splash.png "Welcome" || true
shot "Monitor - Fernhold" monitor.png "20[0-9][0-9]" || true

# 2. A second desktop start says that Fernhold runs, and ends with 0.
"$program" >"$home/second.out" 2>&1 &
second=$!
pids+=($second)
if id="$(window "Fernhold" 100 "$second")"; then
    sleep 0.5
    import -window "$id" "$out/second-start.png"
    check "$out/second-start.png" "second start" "already running"
    # The box has the keyboard focus, as a new window has without a window manager.
    xdotool key Return
else
    fail "a second start showed no message"
fi
if ! wait_end "$second" 20; then
    fail "the second start kept running"
elif [ "$ended" != 0 ]; then
    fail "the second start ended with $ended"
fi

# 3. The icon tells the status.
if ! find_icon; then
    fail "no tray icon"
else
    icon_turns "$green" icon-active.png
    "$program" --signal inactive >/dev/null 2>&1
    icon_turns "$red" icon-inactive.png
    "$program" --signal active >/dev/null 2>&1
    icon_turns "$green" icon-active-again.png

    # 4. The icon menu and the about box, the entry above Quit.
    click_icon
    import -window root "$out/menu.png"
    check "$out/menu.png" "icon menu" "Back up now"
    xdotool key Up Up Return
    shot "About Fernhold - continuous file backup" about.png "Copyright" || true
    xdotool key Return
fi

# 5. The tray host ends and comes back: the icon comes back with it.
stop_tray
sleep 3
kill -0 "$fernhold" 2>/dev/null || fail "fernhold ended with the tray host"
start_tray
if find_icon 50; then
    icon_turns "$green" icon-after-tray-restart.png
else
    fail "the icon did not come back after the tray host restarted"
fi

# 6. Quit while a pass copies a large file: the end-of-program window shows
# its progress rule, and the program ends in order after WaitAtProgramEnd.
fallocate -l 6G "$home/docs/large.img" 2>/dev/null || head -c 3G /dev/zero >"$home/docs/large.img"
"$program" --signal now >/dev/null 2>&1 &
copying=""
for _ in $(seq 300); do
    copying="$(find "$home/backup" -type f -size +1M 2>/dev/null | head -1)"
    [ -n "$copying" ] && break
    sleep 0.1
done
[ -n "$copying" ] || fail "the pass did not start copying the large file"
if [ -n "$icon" ]; then
    click_icon
    xdotool key Up Return
    shot "Fernhold - Ending" end.png "waiting" || true
fi
if ! wait_end "$fernhold" 30; then
    fail "fernhold did not end after Quit"
elif [ "$ended" != 0 ]; then
    fail "fernhold ended with $ended after Quit"
fi
grep -q "Fernhold ended" <(head -1 "$log") || fail "the log does not end with the end line after Quit"
# The monitor was open at the end: it opens again at the next start, where it was.
[ "$("$program" config get MonitorActive)" = 1 ] || fail "MonitorActive was not kept at Quit"
[ "$("$program" config get MonitorPositionX)" != 0 ] || fail "the monitor's place was not stored at Quit"
rm -f "$home/docs/large.img"
find "$home/backup" -type f -size +1M -delete

# 7. SIGTERM while the about box is open: the orderly end still runs.
"$program" config set ShowSplashScreen 0 >/dev/null
"$program" config set MonitorPositionX 0 >/dev/null
"$program" config set MonitorPositionY 0 >/dev/null
touch "$home/started"
"$program" >"$home/fernhold2.out" 2>&1 &
fernhold=$!
pids+=($fernhold)
sleep 2
if find_icon; then
    click_icon
    xdotool key Up Up Return
    window "About Fernhold - continuous file backup" >/dev/null || fail "no about box before SIGTERM"
fi
kill -TERM "$fernhold"
if ! wait_end "$fernhold" 30; then
    fail "fernhold did not end on SIGTERM with the about box open"
elif [ "$ended" != 0 ]; then
    fail "fernhold ended with $ended on SIGTERM"
fi
[ "$log" -nt "$home/started" ] || fail "the log was not written at program end"
grep -q "Fernhold ended" <(head -1 "$log") || fail "the log does not end with the end line after SIGTERM"
[ "$("$program" config get MonitorPositionX)" != 0 ] ||
    fail "the settings were not saved at program end (the monitor's place is missing)"
status="$("$program" --status)"
[ "$status" = "0 undefined" ] || fail "the status after the end is \"$status\""

# 8. No tray host at start: Fernhold runs on, and the icon comes once a host is there.
stop_tray
"$program" >"$home/fernhold3.out" 2>&1 &
fernhold=$!
pids+=($fernhold)
sleep 4
kill -0 "$fernhold" 2>/dev/null || fail "fernhold did not run on without a tray host"
start_tray
if find_icon 50; then
    icon_turns "$green" icon-late-tray.png
else
    fail "the icon did not come when the tray host started late"
fi
kill -TERM "$fernhold"
wait_end "$fernhold" 30 || fail "fernhold did not end on SIGTERM"

ls "$out"/*.png
if [ "$failures" -eq 0 ]; then
    note "all desktop checks passed"
fi
[ "$failures" -eq 0 ]
