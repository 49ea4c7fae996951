#!/usr/bin/env bash
# The robustness gate: every test built with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang) in build-asan and run there, including the hostile-archive suite and the replay of
# every kept fuzz finding; then a short run of each fuzz target, seeded from
# fuzz/corpus_seeds/ and ../shared/corpus/, so that a new crash shows up here. About 15
# minutes on 2 cores. Usage: bash .ci/sanitizers.sh [seconds per fuzz target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=$src/build-asan
fuzz_seconds=${1:-60}

missing=()
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || missing+=(libclang-rt-14-dev)
if [ ${#missing[@]} -ne 0 ]; then
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
# fuzzer-no-link: the code under test carries libFuzzer's coverage hooks, so the same build
# serves the tests and the fuzz targets. The archiver libraries are linked with -z defs,
# which the sanitizer runtime (it lives in the executable) cannot satisfy; -z undefs at the
# very end of every link line lets them link, and the executables provide the runtime.
CC=clang CXX=clang++ cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDIZOR_WERROR=ON \
  -DDIZOR_FUZZ=ON \
  -DCMAKE_PROJECT_INCLUDE="$src/fuzz/dev_hook.cmake" \
  -DCMAKE_C_FLAGS="$san -fsanitize=fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS="$san -fsanitize=fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="$san" \
  -DCMAKE_SHARED_LINKER_FLAGS="$san" \
  -DCMAKE_CXX_STANDARD_LIBRARIES="-Wl,-z,undefs"
cmake --build "$build" -j2

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
status=0
(cd "$build" && ctest --output-on-failure -j2 --timeout 900) || status=1

echo "== fuzz targets, ${fuzz_seconds} s each"
bash "$src/fuzz/run_fuzzers.sh" "$build" "$fuzz_seconds" || status=1
exit $status
