#!/usr/bin/env bash
# bench/scan.sh [FILES] [BIG_FILES]
#
# Compares Fernhold's source scan with find over one tree of FILES small files
# (default 200000, 1000 a folder) in a temporary folder, warm cache, five rounds
# each, alternating:
#   find TREE -type f -printf '%s %T@ %B@\n'
#   IndexScan over the tree (a fresh index each round)
#   BackupFolder over the unchanged tree (every file found known)
#   fernhold --once over the same tree, nothing changed since its last run
# Then the peak memory of fernhold --once, nothing changed, over a tree of
# BIG_FILES files (default 1000000), three rounds.
# The last line but one gives the ratios of the medians to find's median and
# the bytes the index holds per record; the last line the --once figures.
set -euo pipefail

files="${1:-200000}"
big_files="${2:-1000000}"
rounds=5
source "$(dirname "$0")/common.sh"
bench_build fernhold_scan_bench
bench_build fernhold
bench="$build/bench/fernhold_scan_bench"
fernhold="$build/src/app/fernhold"

tree="$(mktemp -d "${TMPDIR:-/tmp}/fernhold-scan.XXXXXX")"
big="$(mktemp -d "${TMPDIR:-/tmp}/fernhold-big.XXXXXX")"
homes="$(mktemp -d "${TMPDIR:-/tmp}/fernhold-homes.XXXXXX")"
trap 'rm -rf "$tree" "$big" "$homes"' EXIT
"$bench" make-tree "$tree" "$files"
"$bench" check "$tree" "$files"

# A home of its own for fernhold over TREE, saving to a folder target; the
# source owes nothing, and a first run records every file's state.
home_for() {
    local home="$homes/$1"
    mkdir -p "$home/tmp" "$home/run" "$home/backup"
    chmod 700 "$home/run"
    run_in "$home" "$fernhold" config set TargetDir "$home/backup/" >/dev/null
    run_in "$home" "$fernhold" source add "$2" --changes-only >/dev/null
    run_in "$home" "$fernhold" --once >/dev/null 2>&1
    echo "$home"
}
run_in() {
    local home="$1"
    shift
    HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
        XDG_RUNTIME_DIR="$home/run" TMPDIR="$home/tmp" QT_QPA_PLATFORM=offscreen "$@"
}
home="$(home_for small "$tree")"

# Warm the cache once for both.
find "$tree" -type f -printf '%s %T@ %B@\n' >/dev/null

find_us=() scan_us=() walk_us=() bytes=() heap=() once_us=()
for ((round = 1; round <= rounds; round++)); do
    start="$(now_us)"
    find "$tree" -type f -printf '%s %T@ %B@\n' >/dev/null
    find_us+=($(($(now_us) - start)))
    read -r s w b h < <("$bench" measure "$tree" "$files")
    scan_us+=("$s") walk_us+=("$w") bytes+=("$b") heap+=("$h")
    start="$(now_us)"
    run_in "$home" "$fernhold" --once >/dev/null 2>&1 || {
        echo "fernhold --once failed" >&2
        exit 1
    }
    once_us+=($(($(now_us) - start)))
done

find_m="$(median "${find_us[@]}")"
scan_m="$(median "${scan_us[@]}")"
walk_m="$(median "${walk_us[@]}")"
echo "files=$files rounds=$rounds load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "find          median $find_m us   runs ${find_us[*]}"
echo "IndexScan     median $scan_m us   runs ${scan_us[*]}"
echo "BackupFolder  median $walk_m us   runs ${walk_us[*]}"
echo "index memory per record: $(median "${bytes[@]}") bytes held by the arrays, $(median "${heap[@]}") bytes by heap accounting"
once_m="$(median "${once_us[@]}")"
echo "fernhold --once median $once_m us   runs ${once_us[*]}"
awk -v f="$find_m" -v s="$scan_m" -v w="$walk_m" -v b="$(median "${bytes[@]}")" \
    'BEGIN { printf "scan_ratio=%.2f walk_ratio=%.2f bytes_per_record=%.1f\n", s / f, w / f, b }'

# Peak memory at BIG_FILES files: the small tree goes first to make room.
rm -rf "$tree"
"$bench" make-tree "$big" "$big_files"
big_home="$(home_for big "$big")"
peak_kb=()
for ((round = 1; round <= 3; round++)); do
    peak_kb+=("$(run_in "$big_home" /usr/bin/time -f %M "$fernhold" --once 2>&1 >/dev/null |
        tail -n 1)")
done
peak_m="$(median "${peak_kb[@]}")"
table_lines="$(head -n 1 "$big_home/config/fernhold/filetimes.txt" | tr -d '\r')"
echo "fernhold --once over $big_files files: peak RSS median $peak_m kB   runs ${peak_kb[*]} kB" \
    "(table: $table_lines records)"
awk -v f="$find_m" -v o="$once_m" -v k="$peak_m" -v n="$big_files" \
    'BEGIN { printf "once_vs_find=%.2f peak_bytes_per_file=%.1f\n", o / f, k * 1024 / n }'
