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

# On the restore page: walks the target down to the versions of a.txt with
# the keyboard, then restores the folder by date through its window, taking
# a PNG of each step.
restore_walk() {
    local list_at found=0 dialog box
    echo "changed since the pass" >"$home/docs/a.txt"
    # A click below the rows gives the list the keyboard.
    if ! list_at="$(word_place "$settings" Name)"; then
        fail "the restore page shows no list"
        return 0
    fi
    # shellcheck disable=SC2086
    set -- $list_at
    xdotool mousemove --window "$settings" "$1" $(($2 + 150)) click 1
    for _ in $(seq 10); do
        xdotool key Down Return
        sleep 1.5
        import -window "$settings" "$out/restore-walk.png"
        if ocr "$out/restore-walk.png" | grep -q "a\.txt"; then
            found=1
            break
        fi
    done
    rm -f "$out/restore-walk.png"
    if [ "$found" -ne 1 ]; then
        fail "walking the restore page never reached the versions of a.txt"
        return 0
    fi
    xdotool key Down space
    sleep 0.5
    import -window "$settings" "$out/restore-page-versions.png"
    check "$out/restore-page-versions.png" "restore page at the versions" "docs/"

    # The buttons through their mnemonics (underlined in the pictures).
    xdotool key alt+s
    if ! dialog="$(window "Restore folder by date")"; then
        fail "no folder-restore window"
        return 0
    fi
    sleep 0.5
    import -window "$dialog" "$out/folder-restore.png"
    check "$out/folder-restore.png" "folder-restore window" "newest version"
    xdotool key alt+s
    sleep 3
    import -window "$dialog" "$out/folder-restore-searched.png"
    check "$out/folder-restore-searched.png" "folder-restore window after the search" "a\.txt"
    xdotool key alt+r
    if ! box="$(window "Restore folder")"; then
        fail "no question before the folder restore"
        return 0
    fi
    sleep 0.5
    import -window "$box" "$out/folder-restore-question.png"
    check "$out/folder-restore-question.png" "the folder restore's question" "overwritten"
    xdotool key alt+y
    sleep 3
    if box="$(window "Restore folder" 50)"; then
        import -window "$box" "$out/folder-restore-summary.png"
        check "$out/folder-restore-summary.png" "the folder restore's summary" "restored"
        xdotool key Return
        sleep 1
    else
        fail "no summary after the folder restore"
    fi
    import -window "$dialog" "$out/folder-restore-done.png"
    check "$out/folder-restore-done.png" "folder-restore window after the restore" "restored"
    [ "$(cat "$home/docs/a.txt")" = "text" ] || fail "the folder restore did not bring back a.txt"
    # Without a window manager the window gets the focus back by hand.
    xdotool windowfocus --sync "$dialog" 2>/dev/null || true
    xdotool key Escape
    sleep 0.5
    xdotool search --onlyvisible --name "^Restore folder by date\$" >/dev/null 2>&1 &&
        fail "the folder-restore window stayed open"
    return 0
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
    restore_walk
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
