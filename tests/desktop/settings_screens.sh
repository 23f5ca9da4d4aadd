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

for tool in Xvfb trayer xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "settings_screens.sh: $tool is missing (./build.sh installs it)" >&2; exit 1; }
done

home="$(mktemp -d)"
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT

export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
    XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" TMPDIR="$home/tmp"
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY SESSION_MANAGER QT_SCALE_FACTOR
# The sanitizer build finds leaks in the X and font libraries at exit.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"

# A display of its own, large enough for the window at scale 2.
display=110
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 2400x1800x24 -nolisten tcp >"$home/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    --transparent false --tint 0x404040 >"$home/trayer.log" 2>&1 &
pids+=($!)
sleep 1

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

failures=0
fail() { echo "settings_screens.sh: $*" >&2; failures=$((failures + 1)); }

# Waits for a window whose name is exactly $1; prints its id.
window() {
    local id
    for _ in $(seq 100); do
        id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# Checks a PNG: not one flat colour, and no text key (TXT00123, GAD00001, HLP00000, ...).
check() {
    local png="$1" what="$2" spread text
    spread="$(convert "$png" -colorspace Gray -format '%[fx:standard_deviation]' info:)"
    if awk "BEGIN { exit !($spread < 0.02) }"; then
        fail "$what is blank ($png)"
    fi
    if command -v tesseract >/dev/null; then
        convert "$png" -resize 200% "$home/ocr.png"
        text="$(tesseract "$home/ocr.png" - 2>/dev/null || true)"
        if grep -Eq '(TXT|MEN|GAD|HLP)[0O][0-9O]{4}' <<<"$text"; then
            fail "$what shows a text key: $(grep -Eo '(TXT|MEN|GAD|HLP)[0O][0-9O]{4}' <<<"$text" | head -1)"
        fi
        if [ -n "${3:-}" ] && ! grep -qi "$3" <<<"$text"; then
            fail "$what does not show \"$3\""
        fi
    fi
}

# Finds the tray icon and opens the settings window through the icon menu.
open_settings() {
    local icon=""
    for _ in $(seq 50); do
        icon="$(xdotool search --onlyvisible --class fernhold 2>/dev/null | while read -r id; do
            geometry="$(xdotool getwindowgeometry "$id" | awk '/Geometry/ {print $2}')"
            [ "${geometry%x*}" -le 128 ] 2>/dev/null && echo "$id"
        done | head -1 || true)"
        [ -n "$icon" ] && break
        sleep 0.2
    done
    if [ -z "$icon" ]; then
        fail "no tray icon"
        return 1
    fi
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
    sleep 1
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
