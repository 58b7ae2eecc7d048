#!/usr/bin/env bash
# The README's test command: installs what is missing, builds every flavour
# and runs every test. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-$(nproc)}

bash scripts/deps.sh

configure_and_build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

# The tests labelled long (two fax pages at the real line rate through the
# fax programs) run once, in the native tree, apart from the quick suite; the
# sanitizer passes leave them out.
run_ctest() { # dir, label, ctest label selection...
    local dir=$1 name=$2
    shift 2
    echo "== tests: $name"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "$@"
}

# 1. Native build (with the test machine's programs, run in 1c), the quick
#    suite, then the long tests.
configure_and_build build
cmake --build build -j "$jobs" --target vm_guest
run_ctest build native -LE long
run_ctest build "native, long" -L long
echo "== API reference"
bash scripts/check-apidoc.sh build
echo "== soak (30 s)"
bash scripts/soak.sh 30 build

# 1b. The native build installed into a temporary prefix and used from there.
echo "== install"
bash scripts/check-install.sh build

# 1c. The serial port on real kernel drivers (a 16550 and a USB adapter) in a
#     small virtual machine, unplug included.
echo "== virtual machine: real serial drivers"
bash tests/vm/run.sh build

# 2. Address + undefined sanitizers.
configure_and_build build-asan -DFALCREST_SANITIZE=address -DFALCREST_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest build-asan asan+ubsan -LE long

# 3. Thread sanitizer.
configure_and_build build-tsan -DFALCREST_SANITIZE=thread -DFALCREST_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build-tsan tsan -LE long

# 3a. Line coverage of the suite, with a floor per module.
echo "== coverage"
bash scripts/coverage.sh build-cov

# 4. Windows cross builds: i686 is the product (compile and link only: this
#    kernel runs no 32-bit programs); x86_64 is what Wine runs here.
echo "== windows build: i686"
cmake -S "$root" -B build-win-i686 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DFALCREST_TESTS=OFF >/dev/null
cmake --build build-win-i686 -j "$jobs"
echo "== windows build: x86_64 with its tests"
cmake -S "$root" -B build-win-x86_64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DFALCREST_TESTS=OFF \
    -DFALCREST_WINDOWS_TESTS=ON >/dev/null
cmake --build build-win-x86_64 -j "$jobs"
echo "== windows build: x86_64 for the kit"
cmake -S "$root" -B build-win-x86_64-kit -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DFALCREST_TESTS=OFF >/dev/null
cmake --build build-win-x86_64-kit -j "$jobs"

# 5. The Windows suite under wine64: engine, window messages, exports and
#    Quenby.exe on a pseudo-terminal COM port; then the emulator on the real
#    console against the POSIX screen model.
echo "== windows tests under wine64"
bash scripts/wine/run-windows-tests.sh build-win-x86_64 build

# 6. Fuzz targets, briefly (clang with libFuzzer): the kept inputs, then a
#    few seconds each (scripts/fuzz.sh runs them for longer).
if ls fuzz/*/CMakeLists.txt >/dev/null 2>&1; then
    echo "== fuzz"
    CC=clang CXX=clang++ configure_and_build build-fuzz -DFALCREST_FUZZ=ON -DFALCREST_TESTS=OFF \
        -DFALCREST_BENCH=OFF
    FUZZ_SECONDS=${FUZZ_SECONDS:-5} bash scripts/run-fuzz.sh build-fuzz
fi

# 7. The packages CPack makes, used as their users would: the Windows kits
#    from their zips alone, and the Debian package, installed only now that
#    the suites have run on the build trees (and removed again).
echo "== packages"
for dir in build build-win-i686 build-win-x86_64-kit; do
    (cd "$dir" && cpack >/dev/null)
done
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/CPackConfig.cmake)
WINEPREFIX=$root/build-win-x86_64/wineprefix bash scripts/check-winkit.sh \
    "build-win-x86_64-kit/Falcrest-$version-win64.zip" "build-win-i686/Falcrest-$version-win32.zip" \
    build/tools/vmodem/vmodem
bash scripts/check-install.sh --deb "build/falcrest_${version}_$(dpkg --print-architecture).deb"

echo "all tests passed"
