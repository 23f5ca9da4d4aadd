#!/usr/bin/env bash
# bench/backup.sh [FILES]
#
# Compares a whole Fernhold backup run with the bare tools over one tree of
# FILES small files (default 2000, 100 a folder, 1 to 8 KB) in a temporary
# folder, warm cache, alternating, each into a fresh target (eleven rounds
# each):
#   fernhold --once --full with CompressData 0   against   cp -r of the tree
#   fernhold --once --full with CompressData 1   against   zip -r of the tree
#       into one archive (Fernhold makes one archive a file, packs each in
#       the work folder, reads it back to check it and copies it over)
# Fernhold's time is the whole process: start-up, index scan, pass, end.
# The last line gives the ratios of the medians; the target for
# zip_vs_zipr is 3 or less.
set -euo pipefail

files="${1:-2000}"
rounds=11
copy_rounds=11
source "$(dirname "$0")/common.sh"
bench_build fernhold
fernhold="$build/src/app/fernhold"
command -v zip >/dev/null || { echo "bench/backup.sh needs zip" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/fernhold-backup.XXXXXX")"
trap 'rm -rf "$work"' EXIT
home="$work/home"
src="$home/data/"
mkdir -p "$home/run" "$home/.config/fernhold" "$home/.cache" "$home/.local/share" "$home/tmp" "$src"
chmod 700 "$home/run"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run" TMPDIR="$home/tmp"

# The tree: FILES files of 1 to 8 KB of text, 100 a folder.
python3 - "$src" "$files" <<'EOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
words = [w.encode() for w in "backup version archive folder target source file copy".split()]
for i in range(count):
    folder = os.path.join(root, "folder%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    size = rng.randint(1024, 8192)
    data = bytearray()
    while len(data) < size:
        data += rng.choice(words) + b" " + str(rng.randint(0, 99999)).encode() + b"\n"
    with open(os.path.join(folder, "file%05d.txt" % i), "wb") as f:
        f.write(data[:size])
EOF

# Settings as the settings window writes them: one source, one folder target,
# no waiting, no automatic clean-up (it is not part of the copying).
settings() {
    local compress="$1" target="$2"
    printf '\xef\xbb\xbf\r\n' >"$home/.config/fernhold/fernhold.ini"
    printf '%s\r\n' "ProgrammStatus = 1" "WaitForTargetDirCount = 0" "LogfileActive = 1" \
        "NoAutomaticCleaning = 1" "CompressData = $compress" \
        "TargetType = WIN" "TargetDir = $target" >>"$home/.config/fernhold/fernhold.ini"
    printf '\xef\xbb\xbf\r\n' >"$home/.config/fernhold/sources.ini"
    printf '%s\r\n' "SourceDirCount = 1" "SourceDirPfad1 = $src" "SourceDirSub1 = 1" \
        "SourceDirTarget1 = 1" >>"$home/.config/fernhold/sources.ini"
}

# One Fernhold run into a fresh target; prints its time and checks its work.
fernhold_run() {
    local compress="$1" target="$work/target"
    rm -rf "$target" && mkdir -p "$target"
    settings "$compress" "$target/"
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

fc="$(median "${fern_copy[@]}")"
cm="$(median "${cp_us[@]}")"
fz="$(median "${fern_zip[@]}")"
zm="$(median "${zipr_us[@]}")"
echo "files=$files rounds=$copy_rounds/$rounds cores=$(nproc) load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "fernhold copy  median $fc us   runs ${fern_copy[*]}"
echo "cp -r          median $cm us   runs ${cp_us[*]}"
echo "fernhold zip   median $fz us   runs ${fern_zip[*]}"
echo "zip -r         median $zm us   runs ${zipr_us[*]}"
awk -v fc="$fc" -v cm="$cm" -v fz="$fz" -v zm="$zm" \
    'BEGIN { printf "copy_ratio=%.2f zip_vs_zipr=%.2f\n", fc / cm, fz / zm }'
