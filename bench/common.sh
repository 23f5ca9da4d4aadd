# Shared by the benchmark scripts: sourced, not run.

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# FERNHOLD_BENCH_BUILD names another release build folder (relative to the
# repository), for example one that shares ccache with the developers' builds.
build="$here/${FERNHOLD_BENCH_BUILD:-build/bench}"

# Builds TARGET in a release build of its own; its log is shown only on failure.
bench_build() {
    mkdir -p "$build"
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    if ! { cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DFERNHOLD_TESTS=OFF -DFERNHOLD_BENCH=ON "${launcher[@]}" &&
        cmake --build "$build" -j 2 --target "$1"; } >"$build/bench-build.log" 2>&1; then
        cat "$build/bench-build.log" >&2
        exit 1
    fi
}

now_us() { echo $(($(date +%s%N) / 1000)); }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
