#!/usr/bin/env bash
# Set-up, build and run Fernhold on a Debian system.
#
#   ./build.sh run     install what is missing, build a release build, start fernhold
#   ./build.sh test    install what is missing, build a test build with sanitizers,
#                      run the whole test suite; the exit status is the suite's
#   ./build.sh package install what is missing, build a release build, make the
#                      .deb in build/package/ and check it with lintian
#
# Further arguments after "run" go to fernhold.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
cd "$here"

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libcurl4-openssl-dev zlib1g-dev libsqlite3-dev libzip-dev libssl-dev
    p7zip-full unzip zip strace
    libgtest-dev googletest
    python3 python3-pyftpdlib vsftpd openssl openssh-server
    libqt6svg6
    xvfb xauth trayer xdotool imagemagick tesseract-ocr
    desktop-file-utils man-db groff dpkg-dev
)

install_missing() {
    local missing=() p
    for p in "${packages[@]}"; do
        if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "build.sh: installing ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

jobs="$(nproc 2>/dev/null || echo 2)"

case "${1:-}" in
run)
    shift
    install_missing
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DFERNHOLD_TESTS=OFF
    cmake --build build/release -j "$jobs"
    exec build/release/src/app/fernhold "$@"
    ;;
test)
    install_missing
    cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O0" \
        -DFERNHOLD_SANITIZE=ON -DFERNHOLD_WERROR=ON -DFERNHOLD_TESTS=ON
    cmake --build build/test -j "$jobs"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp"
    status=0
    ctest --test-dir build/test --output-on-failure -j "$jobs" || status=$?
    # The engine and the core share state between the main thread and the
    # worker: their suites run once more under ThreadSanitizer.
    cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O0" \
        -DFERNHOLD_TSAN=ON -DFERNHOLD_WERROR=ON -DFERNHOLD_TESTS=ON
    cmake --build build/tsan -j "$jobs" --target fernhold_core_tests fernhold_engine_tests
    # die_after_fork=0: tests start child programs (7za, FTP servers) from a
    # process that already has threads; the children only exec.
    # Each test runs in a process of its own: once a test has started a child
    # program through QProcess, ThreadSanitizer no longer sees the locks the
    # main thread takes, and a later test of threads would show races that
    # are none. A test's output is shown when it fails.
    tsan_log="$(mktemp)"
    for suite in core engine; do
        program="build/tsan/tests/fernhold_${suite}_tests"
        tests="$("$program" --gtest_list_tests |
            awk '/^Running main/ { next } /^[^ ]/ { group = $1; next } { print group $1 }')"
        for test in $tests; do
            TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$here/tests/tsan.supp" \
                "$program" --gtest_filter="$test" --gtest_brief=1 >"$tsan_log" 2>&1 ||
                { cat "$tsan_log"; status=1; }
        done
        echo "ThreadSanitizer: $(wc -w <<<"$tests") tests of the $suite suite run"
    done
    rm -f "$tsan_log"
    exit "$status"
    ;;
package)
    # lintian is needed only here.
    packages+=(lintian)
    install_missing
    # Debian's hardening flags (fortified functions, read-only relocations
    # bound at start).
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DFERNHOLD_TESTS=OFF \
        -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
    cmake --build build/package -j "$jobs"
    (cd build/package && cpack -G DEB)
    deb="$(ls build/package/fernhold_*.deb)"
    # Errors fail the build; warnings and notes are printed.
    lintian --fail-on error "$deb"
    echo "build.sh: $deb"
    ;;
*)
    echo "usage: ./build.sh run [FERNHOLD ARGUMENTS] | ./build.sh test | ./build.sh package" >&2
    exit 2
    ;;
esac
