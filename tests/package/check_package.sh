#!/usr/bin/env bash
# The .deb made from a build tree: every file in its place, the desktop
# entry, the user unit and the manual page accepted by their own checkers.
#
#   check_package.sh BUILD_DIR WORK_DIR
#
# Exit 77 (skipped) where dpkg-deb is missing.
set -uo pipefail

build="$1"
work="$2"

command -v dpkg-deb > /dev/null || { echo "dpkg-deb is missing: skipped"; exit 77; }

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work/deb" "$work/root"
if ! (cd "$work/deb" && cpack -G DEB --config "$build/CPackConfig.cmake" > cpack.log 2>&1); then
    cat "$work/deb/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
deb="$(ls "$work"/deb/fernhold_*.deb 2> /dev/null | head -n 1)"
[ -n "$deb" ] || { echo "FAIL: no fernhold_*.deb made"; exit 1; }

# Every file of the package, with its mode; nothing beyond these.
expected="-rwxr-xr-x ./usr/bin/fernhold
-rw-r--r-- ./usr/lib/fernhold/fernhold_desktop.so
-rw-r--r-- ./usr/lib/systemd/user/fernhold.service
-rw-r--r-- ./usr/share/applications/fernhold.desktop
-rw-r--r-- ./usr/share/doc/fernhold/changelog.gz
-rw-r--r-- ./usr/share/doc/fernhold/copyright
-rw-r--r-- ./usr/share/doc/fernhold/fernhold-help.html
-rw-r--r-- ./usr/share/doc/fernhold/fernhold-manual.html
-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/fernhold.svg
-rw-r--r-- ./usr/share/man/man1/fernhold.1.gz"
listed="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $6 }' | LC_ALL=C sort -k2)"
if [ "$listed" != "$expected" ]; then
    fail "files of the package differ from the expected ones"
    diff <(echo "$expected") <(echo "$listed")
fi
owners="$(dpkg-deb -c "$deb" | awk '$2 != "root/root" { print $2, $6 }')"
[ -z "$owners" ] || fail "files not owned by root: $owners"

# Depends: the libraries found in the binary and the programs it starts.
depends="$(dpkg-deb -f "$deb" Depends)"
for wanted in libc6 libqt6core6 libqt6widgets6 libcurl4 libzip4 xdg-utils libqt6svg6; do
    [[ ", $depends," == *", $wanted"[\ ,]* ]] || fail "Depends lacks $wanted: $depends"
done
# Archives are made in the program: no archiver program is needed.
[[ ", $depends," != *", p7zip"* ]] || fail "Depends still names 7-Zip: $depends"
for field in Maintainer Description Section; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "control field $field is empty"
done

dpkg-deb -x "$deb" "$work/root"
root="$work/root"

desktop="$root/usr/share/applications/fernhold.desktop"
grep -qx 'Exec=fernhold' "$desktop" || fail "desktop entry does not start fernhold"
grep -qx 'Icon=fernhold' "$desktop" || fail "desktop entry does not name the icon fernhold"
if command -v desktop-file-validate > /dev/null; then
    out="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate failed"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
else
    echo "desktop-file-validate is missing: desktop entry not validated"
fi

unit="$root/usr/lib/systemd/user/fernhold.service"
grep -qx 'ExecStart=/usr/bin/fernhold --headless' "$unit" || fail "unit ExecStart is not /usr/bin/fernhold --headless"
grep -qx 'Restart=on-failure' "$unit" || fail "unit lacks Restart=on-failure"
grep -qx 'KillSignal=SIGTERM' "$unit" || fail "unit lacks KillSignal=SIGTERM"
if command -v systemd-analyze > /dev/null; then
    # verify wants the program where ExecStart names it: point it at the
    # unpacked one. A user manager needs a runtime folder of its own.
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" > "$work/fernhold.service"
    mkdir -p -m 0700 "$work/runtime"
    out="$(XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user --man=no \
        "$work/fernhold.service" 2>&1)" || fail "systemd-analyze verify failed: $out"
    [ -z "$out" ] || fail "systemd-analyze verify: $out"
else
    echo "systemd-analyze is missing: unit not verified"
fi

page="$root/usr/share/man/man1/fernhold.1.gz"
gzip -t "$page" || fail "manual page is not gzip"
out="$(zcat "$page" | LC_ALL=C.UTF-8 groff -man -ww -z 2>&1)" || fail "groff failed"
[ -z "$out" ] || fail "groff warns: $out"
if command -v man > /dev/null; then
    text="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2> "$work/man.err")" || fail "man -l failed"
    [ ! -s "$work/man.err" ] || fail "man -l warns: $(cat "$work/man.err")"
    # Every command and option of the usage text, and each variable.
    for word in --headless --once --full --verbose --signal --status config source clean \
        --cloud-folders restore --target --to --yes --password-stdin --from --until --oldest \
        --subfolders --filter --name --date --targets --no-subfolders --changes-only \
        --keep-latest --days --size --unit --stdin trust --help --version \
        XDG_CONFIG_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR TMPDIR \
        fernhold.ini sources.ini fernhold.log filetimes.txt state.ini registry.ini "EXIT STATUS"; do
        grep -qF -- "$word" <<< "$text" || fail "manual page does not mention $word"
    done
fi

[ "$failures" -eq 0 ] || exit 1
echo "package checked: $deb"
