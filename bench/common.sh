# Shared by the benchmark scripts: sourced, not run.

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# FERNHOLD_BENCH_BUILD names another release build folder (relative to the
# repository), for example one that shares ccache with the developers' builds.
build="$here/${FERNHOLD_BENCH_BUILD:-build/bench}"
# FERNHOLD_BENCH_JOBS limits the build on a machine shared with other work.
jobs="${FERNHOLD_BENCH_JOBS:-2}"

# Builds TARGET in a release build of its own; its log is shown only on failure.
bench_build() {
    mkdir -p "$build"
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    if ! { cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DFERNHOLD_TESTS=OFF -DFERNHOLD_BENCH=ON "${launcher[@]}" &&
        cmake --build "$build" -j "$jobs" --target "$1"; } >"$build/bench-build.log" 2>&1; then
        cat "$build/bench-build.log" >&2
        exit 1
    fi
}

# make_text_tree DIR COUNT: COUNT files of 1 to 8 KB of text, 100 a folder.
make_text_tree() {
    python3 - "$1" "$2" <<'EOF'
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
}

now_us() { echo $(($(date +%s%N) / 1000)); }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
