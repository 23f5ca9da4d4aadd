#!/usr/bin/env bash
# Starts the real fernhold on a virtual X display with a real tray host in a
# temporary home, opens the settings window from the icon menu's first entry
# and takes a PNG of each of its pages into OUTDIR (page 2 also at scale 2).
# Fails when the window is missing, a page is blank or a text key shows
# instead of its text.
#
#   tests/desktop/settings_screens.sh OUTDIR FERNHOLD
set -euo pipefail

out="$(mkdir -p "$1" && cd "$1" && pwd)"
program="$2"
program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"

# shellcheck source=desktop_common.sh
source "$(dirname "$0")/desktop_common.sh"
# A display large enough for the window at scale 2.
desktop_setup settings_screens.sh 110 2400x1800x24
OCR_SCALE=200
start_tray

# A source and two targets, so the lists and choosers show real rows.
mkdir -p "$home/docs" "$home/backup"
echo text >"$home/docs/a.txt"
mkdir -p "$home/.dropbox" "$home/Dropbox"
printf '{"personal": {"path": "%s"}}\n' "$home/Dropbox" >"$home/.dropbox/info.json"
"$program" source add "$home/docs" >/dev/null
"$program" config set TargetDir "$home/backup/" >/dev/null
"$program" config set TargetType2 FTP >/dev/null
"$program" config set FTPServerName2 ftp.example.org >/dev/null
"$program" config set FTPSubDir2 /backup >/dev/null
"$program" config set ShowSplashScreen 0 >/dev/null
"$program" config set ProgrammStatus 1 >/dev/null
# One real pass, so the restore page lists a real target.
"$program" --once >"$home/once.log" 2>&1 || echo "settings_screens.sh: the pass ended with $?" >&2

# Finds the tray icon and opens the settings window through the icon menu.
open_settings() {
    if ! find_icon; then
        fail "no tray icon"
        return 1
    fi
    click_icon
    # The first entry opens the settings window.
    xdotool key Down Return
    if ! settings="$(window "Fernhold - Backup and restore")"; then
        fail "no settings window"
        return 1
    fi
    sleep 1
}

# Shows page $1 (counted from the page shown) and takes it as $2.
page_shot() {
    local steps="$1" png="$2" word="${3:-}" i
    for ((i = 0; i < steps; i++)); do
        xdotool key --window "$settings" ctrl+Tab
        sleep 0.3
    done
    sleep 0.5
    import -window "$settings" "$out/$png"
    check "$out/$png" "$png" "$word"
}

start() {
    "$program" >"$home/fernhold.out" 2>&1 &
    fernhold=$!
    pids+=($fernhold)
}

stop() {
    kill -TERM "$fernhold"
    wait "$fernhold" || fail "fernhold ended with $?"
}

start
if open_settings; then
    xdotool windowactivate --sync "$settings" 2>/dev/null || xdotool windowfocus "$settings" || true
    page_shot 0 settings-page0.png "Normal"
    page_shot 1 settings-page1.png "watches"
    page_shot 1 settings-page2.png "Browse"
    # The cloud-folder window, through its link's mnemonic on the target page.
    xdotool key --window "$settings" alt+l
    if cloud="$(window "Fernhold - Cloud storage folders")"; then
        sleep 0.5
        import -window "$cloud" "$out/settings-cloud.png"
        check "$out/settings-cloud.png" "cloud-folder window" "Dropbox"
        xdotool key Escape || true
        sleep 0.5
        xdotool search --onlyvisible --name "^Fernhold - Cloud storage folders\$" >/dev/null 2>&1 && fail "the cloud-folder window stayed open"
        sleep 0.5
    else
        fail "no cloud-folder window"
    fi
    page_shot 1 settings-page3.png "Saved on"
    page_shot 1 settings-page4.png "older"
    page_shot 1 settings-page5.png "log"
    page_shot 1 settings-page6.png "windows"
    page_shot 1 settings-page7.png "priority"
    # Closing saves and ends the pause.
    # Without a window manager the settings window gets the focus back by hand.
    xdotool windowfocus --sync "$settings" 2>/dev/null || true
    sleep 0.3
    xdotool key --window "$settings" alt+c
    closed=0
    for _ in $(seq 50); do
        if ! xdotool search --onlyvisible --name "^Fernhold - Backup and restore\$" >/dev/null 2>&1; then
            closed=1
            break
        fi
        sleep 0.1
    done
    [ "$closed" -eq 1 ] || { import -window root "$out/debug-close.png"; fail "the close button did not close the window"; }
fi
stop

# The target page at scale 2: the layout must hold at twice the size.
export QT_SCALE_FACTOR=2
start
if open_settings; then
    xdotool windowactivate --sync "$settings" 2>/dev/null || xdotool windowfocus "$settings" || true
    page_shot 2 settings-page2-scale2.png "Browse"
    xdotool key --window "$settings" alt+c
    sleep 1
fi
stop

ls "$out"/settings-*.png
[ "$failures" -eq 0 ]
