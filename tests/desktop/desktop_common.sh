# Sourced by the desktop scripts: a temporary home, a virtual X display with
# a tray host, and the checks of what a window shows.
#
#   desktop_setup NAME FIRST_DISPLAY SCREEN_SIZE
# sets $home (removed at exit), the XDG variables, $DISPLAY (the first free
# number from FIRST_DISPLAY on) and starts Xvfb; start_tray starts trayer.

me=""
home=""
pids=()
failures=0
tray=""

fail() { echo "$me: $*" >&2; failures=$((failures + 1)); }

desktop_cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do timeout 10 tail --pid="$p" -f /dev/null 2>/dev/null || true; done
    rm -rf "$home"
}

desktop_setup() {
    me="$1"
    local tool display="$2"
    for tool in Xvfb trayer xdotool import convert timeout; do
        command -v "$tool" >/dev/null || { echo "$me: $tool is missing (./build.sh installs it)" >&2; exit 1; }
    done
    home="$(mktemp -d)"
    trap desktop_cleanup EXIT
    export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
        XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" TMPDIR="$home/tmp"
    mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
    # XEmbed through the tray host, not a StatusNotifier host of the caller's session.
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS QT_SCALE_FACTOR
    # The sanitizer build finds leaks in the X and font libraries at exit.
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"

    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    export DISPLAY=":$display"
    Xvfb "$DISPLAY" -screen 0 "$3" -nolisten tcp >"$home/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
}

start_tray() {
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
        --transparent false --tint 0x404040 >>"$home/trayer.log" 2>&1 &
    tray=$!
    pids+=($tray)
    sleep 1
}

stop_tray() {
    kill "$tray" 2>/dev/null || true
    timeout 10 tail --pid="$tray" -f /dev/null || true
}

# Waits for a visible window whose name is exactly $1 (of process $3 where
# given); prints its id.
window() {
    local id by=()
    [ -n "${3:-}" ] && by=(--pid "$3")
    for _ in $(seq "${2:-100}"); do
        id="$(xdotool search --onlyvisible "${by[@]}" --name "^$1\$" 2>/dev/null | head -1 || true)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# The text a PNG shows, read by OCR after enlarging it by OCR_SCALE percent.
ocr() {
    convert "$1" -resize "${OCR_SCALE:-300}%" "$home/ocr.png"
    tesseract "$home/ocr.png" - 2>/dev/null || true
}

# Prints "X Y", the middle of the word $2 (a whole word as OCR reads it) in
# window $1, the $3th time it appears (default 1); fails when it is not there.
word_place() {
    local win="$1" word="$2" nth="${3:-1}" scale="${OCR_SCALE:-300}" place
    import -window "$win" "$home/click.png"
    convert "$home/click.png" -resize "${scale}%" "$home/click-big.png"
    # TSV: level page block par line word left top width height conf text
    place="$(tesseract "$home/click-big.png" - tsv 2>/dev/null |
        awk -F'\t' -v w="$word" -v n="$nth" -v s="$scale" \
            '$12 == w && ++seen == n { printf "%d %d", ($7 + $9 / 2) * 100 / s, ($8 + $10 / 2) * 100 / s; exit }')"
    [ -n "$place" ] && echo "$place"
}

# Clicks that word.
click_word() {
    local place
    if ! place="$(word_place "$@")"; then
        fail "no \"$2\" to click in window $1"
        return 1
    fi
    # shellcheck disable=SC2086
    xdotool mousemove --window "$1" $place click 1
}

# Checks a PNG: not one flat colour, no text key (TXT00123, MEN00001, ...),
# and the expected words ($3, a grep pattern) where given.
check() {
    local png="$1" what="$2" spread text
    spread="$(convert "$png" -colorspace Gray -format '%[fx:standard_deviation]' info:)"
    if awk "BEGIN { exit !($spread < 0.02) }"; then
        fail "$what is blank ($png)"
    fi
    if command -v tesseract >/dev/null; then
        text="$(ocr "$png")"
        if grep -Eq '(TXT|MEN|GAD|HLP)[0O][0-9O]{4}' <<<"$text"; then
            fail "$what shows a text key: $(grep -Eo '(TXT|MEN|GAD|HLP)[0O][0-9O]{4}' <<<"$text" | head -1)"
        fi
        if [ -n "${3:-}" ] && ! grep -qi "$3" <<<"$text"; then
            fail "$what does not show \"$3\"; it shows: $(tr '\n' ' ' <<<"$text")"
        fi
    fi
}

# The tray icon's window ($icon): Fernhold's small window docked in the tray
# host, looked for $1 times.
icon=""
find_icon() {
    icon=""
    for _ in $(seq "${1:-50}"); do
        icon="$(xdotool search --onlyvisible --class fernhold 2>/dev/null | while read -r id; do
            geometry="$(xdotool getwindowgeometry "$id" 2>/dev/null | awk '/Geometry/ {print $2}')"
            [ -n "$geometry" ] && [ "${geometry%x*}" -le 128 ] 2>/dev/null && echo "$id"
        done | head -1 || true)"
        [ -n "$icon" ] && return 0
        sleep 0.2
    done
    return 1
}

# The icon's place as X, Y, WIDTH, HEIGHT. The tray host may have replaced
# the icon's window since it was found: then it is looked up again.
X="" Y="" WIDTH="" HEIGHT="" SCREEN="" WINDOW=""
icon_place() {
    local geometry
    for _ in $(seq 20); do
        if [ -n "$icon" ] && geometry="$(xdotool getwindowgeometry --shell "$icon" 2>/dev/null)"; then
            eval "$geometry"
            return 0
        fi
        find_icon 10 || true
    done
    return 1
}

# Opens the icon menu with a click on the icon.
click_icon() {
    icon_place || { fail "no icon to click"; return 0; }
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
    sleep 1
}
