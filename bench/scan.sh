#!/usr/bin/env bash
# bench/scan.sh [FILES]
#
# Compares Fernhold's source scan with find over one tree of FILES small files
# (default 200000, 1000 a folder) in a temporary folder, warm cache, five rounds
# each, alternating:
#   find TREE -type f -printf '%s %T@ %B@\n'
#   IndexScan over the tree (a fresh index each round)
#   BackupFolder over the unchanged tree (every file found known)
# The last line gives the ratios of the medians to find's median and the bytes
# the index holds per record.
set -euo pipefail

files="${1:-200000}"
rounds=5
source "$(dirname "$0")/common.sh"
bench_build fernhold_scan_bench
bench="$build/bench/fernhold_scan_bench"

tree="$(mktemp -d "${TMPDIR:-/tmp}/fernhold-scan.XXXXXX")"
trap 'rm -rf "$tree"' EXIT
"$bench" make-tree "$tree" "$files"
"$bench" check "$tree" "$files"

# Warm the cache once for both.
find "$tree" -type f -printf '%s %T@ %B@\n' >/dev/null

find_us=() scan_us=() walk_us=() bytes=() heap=()
for ((round = 1; round <= rounds; round++)); do
    start="$(now_us)"
    find "$tree" -type f -printf '%s %T@ %B@\n' >/dev/null
    find_us+=($(($(now_us) - start)))
    read -r s w b h < <("$bench" measure "$tree" "$files")
    scan_us+=("$s") walk_us+=("$w") bytes+=("$b") heap+=("$h")
done

find_m="$(median "${find_us[@]}")"
scan_m="$(median "${scan_us[@]}")"
walk_m="$(median "${walk_us[@]}")"
echo "files=$files rounds=$rounds load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "find          median $find_m us   runs ${find_us[*]}"
echo "IndexScan     median $scan_m us   runs ${scan_us[*]}"
echo "BackupFolder  median $walk_m us   runs ${walk_us[*]}"
echo "index memory per record: $(median "${bytes[@]}") bytes held by the arrays, $(median "${heap[@]}") bytes by heap accounting"
awk -v f="$find_m" -v s="$scan_m" -v w="$walk_m" -v b="$(median "${bytes[@]}")" \
    'BEGIN { printf "scan_ratio=%.2f walk_ratio=%.2f bytes_per_record=%.1f\n", s / f, w / f, b }'
