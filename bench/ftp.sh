#!/usr/bin/env bash
# bench/ftp.sh [FILES] [LOGIN_MS]
#
# One fernhold --once --full of FILES small files (default 200, 1 to 8 KB,
# plain copies) to an FTP target: the tests' pyftpdlib server on 127.0.0.1,
# whose every login answers after LOGIN_MS milliseconds (default 200), as a
# distant server's does. The server writes a line for every login it sees;
# the files are counted on the server's disk.
# The last line gives the files that arrived per login; the target is 100 or
# more.
set -euo pipefail

files="${1:-200}"
login_ms="${2:-200}"
source "$(dirname "$0")/common.sh"
python=/usr/bin/python3
"$python" -c 'import pyftpdlib' 2>/dev/null || {
    echo "bench/ftp.sh needs $python with pyftpdlib (package python3-pyftpdlib)" >&2
    exit 1
}
bench_build fernhold
fernhold="$build/src/app/fernhold"

work="$(mktemp -d "${TMPDIR:-/tmp}/fernhold-ftp.XXXXXX")"
server_pid=""
cleanup() {
    [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
home="$work/home"
src="$work/data/"
root="$work/server"
mkdir -p "$home/run" "$home/tmp" "$root/backup" "$src"
chmod 700 "$home/run"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run" TMPDIR="$home/tmp"
make_text_tree "$src" "$files"

delay="$(awk -v ms="$login_ms" 'BEGIN { print ms / 1000 }')"
: >"$work/server.out"
"$python" "$here/tests/support/ftp_server.py" --root "$root" --user fern --password secret \
    --login-log "$work/logins.txt" --login-delay "$delay" \
    >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=""
for ((wait = 0; wait < 100; wait++)); do
    port="$(sed -n 's/^PORT //p' "$work/server.out")"
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "the FTP server did not start:" >&2; cat "$work/server.err" >&2; exit 1; }

# One source, the FTP server as target 1, plain copies, no waiting and no
# automatic clean-up (it would list the server, which is not uploading).
config() { "$fernhold" config set "$@" >/dev/null; }
config ProgrammStatus 1
config WaitForTargetDirCount 0
config NoAutomaticCleaning 1
config CompressData 0
config TargetType FTP
config FTPServerName 127.0.0.1
config FTPServerPort "$port"
config FTPSubDir backup
config FTPUnicode 1
printf fern | config FTPUserName --stdin
printf secret | config FTPPassword --stdin
"$fernhold" source add "$src" >/dev/null

start="$(now_us)"
"$fernhold" --once --full >/dev/null 2>"$work/fernhold.err" || {
    cat "$work/fernhold.err" >&2
    exit 1
}
took=$(($(now_us) - start))
arrived="$(find "$root/backup" -type f | wc -l)"
logins="$(wc -l <"$work/logins.txt")"
[ "$arrived" -eq "$files" ] || { echo "the server holds $arrived of $files files" >&2; exit 1; }
[ "$logins" -gt 0 ] || { echo "the server saw no login" >&2; exit 1; }

echo "files=$files login=${login_ms} ms load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "fernhold --once --full  $took us   $arrived files arrived, $logins logins"
awk -v f="$arrived" -v l="$logins" 'BEGIN { printf "ftp_files_per_login=%.1f\n", f / l }'
