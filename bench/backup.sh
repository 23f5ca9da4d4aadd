#!/usr/bin/env bash
# bench/backup.sh [FILES] [FIRST_FILES]
#
# Compares a whole Fernhold backup run with the bare tools over one tree of
# FILES small files (default 2000, 100 a folder, 1 to 8 KB) in a temporary
# folder, warm cache, alternating, each into a fresh target (eleven rounds
# each):
#   fernhold --once --full with CompressData 0   against   cp -r of the tree
#   fernhold --once --full with CompressData 1   against   zip -r of the tree
#       into one archive (Fernhold makes one archive a file, packs each in
#       the work folder, reads it back to check it and copies it over)
# Then a first backup of a second tree of FIRST_FILES such files (default
# 200000), three rounds each, alternating, the disk synced before each run:
#   fernhold --once --full with CompressData 0, without the file-time table,
#       state and log of the run before   against   rsync -a of the tree
# Fernhold's time is the whole process: start-up, index scan, pass, end.
# The last line gives the ratios of the medians; the targets: copy_ratio 1.3
# or less (TMPDIR on tmpfs), zip_vs_zipr 3 or less, first_vs_rsync 1.1 or less.
set -euo pipefail

files="${1:-2000}"
first_files="${2:-200000}"
rounds=11
copy_rounds=11
first_rounds=3
source "$(dirname "$0")/common.sh"
bench_build fernhold
fernhold="$build/src/app/fernhold"
command -v zip >/dev/null || { echo "bench/backup.sh needs zip" >&2; exit 1; }
command -v rsync >/dev/null || { echo "bench/backup.sh needs rsync (package rsync)" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/fernhold-backup.XXXXXX")"
trap 'rm -rf "$work"' EXIT
home="$work/home"
src="$home/data/"
mkdir -p "$home/run" "$home/.config/fernhold" "$home/.cache" "$home/.local/share" "$home/tmp" "$src"
chmod 700 "$home/run"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run" TMPDIR="$home/tmp"

make_text_tree "$src" "$files"

# Settings as the settings window writes them: one source, one folder target,
# no waiting, no automatic clean-up (it is not part of the copying).
settings() {
    local compress="$1" target="$2" src="${3:-$src}"
    printf '\xef\xbb\xbf\r\n' >"$home/.config/fernhold/fernhold.ini"
    printf '%s\r\n' "ProgrammStatus = 1" "WaitForTargetDirCount = 0" "LogfileActive = 1" \
        "NoAutomaticCleaning = 1" "CompressData = $compress" \
        "TargetType = WIN" "TargetDir = $target" >>"$home/.config/fernhold/fernhold.ini"
    printf '\xef\xbb\xbf\r\n' >"$home/.config/fernhold/sources.ini"
    printf '%s\r\n' "SourceDirCount = 1" "SourceDirPfad1 = $src" "SourceDirSub1 = 1" \
        "SourceDirTarget1 = 1" >>"$home/.config/fernhold/sources.ini"
}

# One Fernhold run of SOURCE (default the small tree) into a fresh target;
# prints its time and checks its work.
fernhold_run() {
    local compress="$1" src="${2:-$src}" files="${3:-$files}" target="$work/target"
    rm -rf "$target" && mkdir -p "$target"
    settings "$compress" "$target/" "$src"
    local start
    start="$(now_us)"
    "$fernhold" --once --full >/dev/null 2>"$work/fernhold.err" || {
        cat "$work/fernhold.err" >&2
        exit 1
    }
    echo $(($(now_us) - start))
    local made
    made="$(find "$target" -type f | wc -l)"
    [ "$made" -eq "$files" ] || { echo "fernhold saved $made of $files files" >&2; exit 1; }
}

cp_run() {
    local target="$work/cp"
    rm -rf "$target"
    local start
    start="$(now_us)"
    cp -r "$src" "$target"
    echo $(($(now_us) - start))
}

# The whole tree into one zip archive, deflated at zip's usual level.
zipr_run() {
    local archive="$work/tree.zip"
    rm -f "$archive"
    local start
    start="$(now_us)"
    (cd "$src" && zip -r -q "$archive" .)
    echo $(($(now_us) - start))
}

# Warm the cache and the programs once.
cat "$src"*/* >/dev/null
fernhold_run 0 >/dev/null
cp_run >/dev/null
fernhold_run 1 >/dev/null
zipr_run >/dev/null

fern_copy=() cp_us=() fern_zip=() zipr_us=()
for ((round = 1; round <= copy_rounds; round++)); do
    fern_copy+=("$(fernhold_run 0)")
    cp_us+=("$(cp_run)")
done
for ((round = 1; round <= rounds; round++)); do
    fern_zip+=("$(fernhold_run 1)")
    zipr_us+=("$(zipr_run)")
done

# The first backup of the big tree: the small one goes to make room, and each
# Fernhold run starts without the file-time table, state and log of the last.
rm -rf "$src" "$work/target" "$work/cp" "$work/tree.zip"
big="$work/big/"
mkdir -p "$big"
make_text_tree "$big" "$first_files"
find "$big" -type f -exec cat {} + >/dev/null
first_run() {
    rm -f "$home/.config/fernhold/"{filetimes.txt,state.ini,fernhold.log,fernhold.log.new}
    rm -rf "$work/target"
    sync
    fernhold_run 0 "$big" "$first_files"
}
rsync_run() {
    local target="$work/rsync"
    rm -rf "$target"
    sync
    local start
    start="$(now_us)"
    rsync -a "$big" "$target/"
    echo $(($(now_us) - start))
}
fern_first=() rsync_us=()
for ((round = 1; round <= first_rounds; round++)); do
    fern_first+=("$(first_run)")
    rsync_us+=("$(rsync_run)")
done
rm -rf "$big" "$work/target" "$work/rsync"

fc="$(median "${fern_copy[@]}")"
cm="$(median "${cp_us[@]}")"
fz="$(median "${fern_zip[@]}")"
zm="$(median "${zipr_us[@]}")"
echo "files=$files rounds=$copy_rounds/$rounds cores=$(nproc) load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "fernhold copy  median $fc us   runs ${fern_copy[*]}"
echo "cp -r          median $cm us   runs ${cp_us[*]}"
echo "fernhold zip   median $fz us   runs ${fern_zip[*]}"
echo "zip -r         median $zm us   runs ${zipr_us[*]}"
ff="$(median "${fern_first[@]}")"
rs="$(median "${rsync_us[@]}")"
echo "first backup of $first_files files, rounds=$first_rounds"
echo "fernhold full  median $ff us   runs ${fern_first[*]}"
echo "rsync -a       median $rs us   runs ${rsync_us[*]}"
awk -v fc="$fc" -v cm="$cm" -v fz="$fz" -v zm="$zm" -v ff="$ff" -v rs="$rs" \
    'BEGIN { printf "copy_ratio=%.2f zip_vs_zipr=%.2f first_vs_rsync=%.2f\n",
        fc / cm, fz / zm, ff / rs }'
