#!/usr/bin/env bash
# Sanitizer run of the whole test suite:
#  1. ASan + UBSan (QUARRIX_SANITIZE, -fno-sanitize-recover=all): every C++ suite under CTest
#     (build-asan/);
#  2. the pytest suite against an ASan build of the module (installed into build-asan-py/site,
#     the ASan runtime preloaded into Python, leak checks off since CPython keeps memory on
#     purpose);
#  3. ThreadSanitizer on the pipeline's C++ tests (build-tsan/), only when asked for: Debian's
#     oneTBB is not built with TSan, so every hand-off it synchronises (task stealing, the end of
#     parallel_for, results read after the join) is reported as a race; the step means something
#     only against a oneTBB built with -fsanitize=thread (point CMake's TBB_DIR at it).
# Prints how long each step took. Usage: scripts/sanitize.sh [asan|python|tsan]... (default:
# asan python)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
py=${PYTHON:-python3}
jobs=${JOBS:-2}
steps=("$@")
[ ${#steps[@]} -eq 0 ] && steps=(asan python)

timed() {
  local name=$1; shift
  local start=$SECONDS
  "$@"
  echo "== $name took $((SECONDS - start)) s"
}

asan() {
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARRIX_SANITIZE=ON \
    -DQUARRIX_BUILD_BENCHMARKS=OFF
  cmake --build build-asan -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
}

python_suite() {
  local site=$root/build-asan-py/site
  rm -rf "$site"
  "$py" -m pip install -q --disable-pip-version-check --no-build-isolation --target "$site" \
    -Cbuild-dir="$root/build-asan-py/build" -Ccmake.define.QUARRIX_SANITIZE=ON \
    -Ccmake.build-type=RelWithDebInfo "$root"
  local asan_rt
  asan_rt=$(g++ -print-file-name=libasan.so)
  cd "$root/tests"
  local status=0
  PYTHONPATH="$site" LD_PRELOAD="$asan_rt" ASAN_OPTIONS=detect_leaks=0 \
    UBSAN_OPTIONS=print_stacktrace=1 "$py" -m pytest -q -p no:cacheprovider . || status=$?
  cd "$root"
  [ "$status" -eq 5 ] && status=0
  return "$status"
}

tsan() {
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARRIX_BUILD_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
  cmake --build build-tsan -j "$jobs" --target core_tests
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp" \
    build-tsan/core/core_tests --gtest_filter='Pipeline*:*Executor*'
}

total=$SECONDS
for step in "${steps[@]}"; do
  case $step in
    asan) timed "ASan+UBSan C++ suite" asan ;;
    python) timed "pytest on the ASan module" python_suite ;;
    tsan) timed "TSan pipeline tests" tsan ;;
    *) echo "unknown step: $step" >&2; exit 2 ;;
  esac
done
echo "== sanitizer run took $((SECONDS - total)) s"
