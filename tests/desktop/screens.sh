#!/usr/bin/env bash
# Starts the real fernhold on a virtual X display with a real tray host in a
# temporary home, opens the icon menu and each small window through the
# program's own paths, and takes a PNG of each into OUTDIR. Fails when a
# window is missing or blank, or when its text shows a text key instead of
# a text.
#
#   tests/desktop/screens.sh OUTDIR [FERNHOLD]
set -euo pipefail

out="$(mkdir -p "$1" && cd "$1" && pwd)"
program="${2:-$(dirname "$0")/../../build/test/src/app/fernhold}"
program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"

for tool in Xvfb trayer xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "screens.sh: $tool is missing (./build.sh installs it)" >&2; exit 1; }
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
unset QT_QPA_PLATFORM WAYLAND_DISPLAY SESSION_MANAGER
# The sanitizer build finds leaks in the X and font libraries at exit.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"

# A display of its own: the first free number from 90 on.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$home/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    --transparent false --tint 0x404040 >"$home/trayer.log" 2>&1 &
pids+=($!)
sleep 1

# Sources and a target, so the monitor shows a real status line and a pass
# runs long enough to be seen at program end.
mkdir -p "$home/docs" "$home/backup"
for i in $(seq 400); do head -c 20000 /dev/urandom >"$home/docs/file$i.bin"; done
"$program" source add "$home/docs" >/dev/null
"$program" config set TargetDir "$home/backup/" >/dev/null
"$program" config set ProgrammStatus 1 >/dev/null
"$program" config set MonitorActive 1 >/dev/null
"$program" config set ShowSplashScreen 1 >/dev/null

failures=0
fail() { echo "screens.sh: $*" >&2; failures=$((failures + 1)); }

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

# Checks a PNG: not one flat colour, and no text key (TXT00123, MEN00001, ...).
check() {
    local png="$1" what="$2" spread text
    spread="$(convert "$png" -colorspace Gray -format '%[fx:standard_deviation]' info:)"
    if awk "BEGIN { exit !($spread < 0.02) }"; then
        fail "$what is blank ($png)"
    fi
    if command -v tesseract >/dev/null; then
        convert "$png" -resize 300% "$home/ocr.png"
        text="$(tesseract "$home/ocr.png" - 2>/dev/null || true)"
        if grep -Eq '(TXT|MEN|GAD)[0O][0-9O]{4}' <<<"$text"; then
            fail "$what shows a text key: $(grep -Eo '(TXT|MEN|GAD)[0O][0-9O]{4}' <<<"$text" | head -1)"
        fi
        if [ -n "${3:-}" ] && ! grep -qi "$3" <<<"$text"; then
            fail "$what does not show \"$3\""
        fi
    fi
}

shot() { # window name, file, expected word
    local id
    if ! id="$(window "$1")"; then
        fail "no window \"$1\""
        return
    fi
    sleep 0.5
    import -window "$id" "$out/$2"
    check "$out/$2" "$1" "${3:-}"
}

"$program" >"$home/fernhold.out" 2>&1 &
fernhold=$!
pids+=($fernhold)

shot "Fernhold" splash.png "notification"
shot "Monitor - Fernhold" monitor.png "2026\|20[0-9][0-9]"

# The icon menu, opened with a click on the icon in the tray host.
icon=""
for _ in $(seq 50); do
    icon="$(xdotool search --onlyvisible --class fernhold 2>/dev/null | while read -r id; do
        geometry="$(xdotool getwindowgeometry "$id" | awk '/Geometry/ {print $2}')"
        [ "${geometry%x*}" -le 64 ] 2>/dev/null && echo "$id"
    done | head -1 || true)"
    [ -n "$icon" ] && break
    sleep 0.2
done
if [ -z "$icon" ]; then
    fail "no tray icon"
else
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
    sleep 1
    import -window root "$out/menu.png"
    check "$out/menu.png" "icon menu" "Monitor"
    # About is the entry above the last (Quit).
    xdotool key Up Up Return
    shot "About - Fernhold" about.png "Copyright"
    xdotool key Return 2>/dev/null || true
fi

# Program end: SIGTERM takes the orderly path and saves the settings.
sleep 1
kill -TERM "$fernhold"
wait "$fernhold" || fail "fernhold ended with $?"
if [ -z "$(find "$home/config/fernhold" -name fernhold.ini -newer "$home/docs/file1.bin")" ]; then
    fail "the settings were not saved at program end"
fi

ls "$out"/*.png
[ "$failures" -eq 0 ]
