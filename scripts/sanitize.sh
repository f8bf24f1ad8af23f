#!/usr/bin/env bash
# Sanitizer run of the whole test suite:
#  1. ASan + UBSan (QUARRIX_SANITIZE, -fno-sanitize-recover=all): every C++ suite under CTest
#     (build-asan/);
#  2. the pytest suite against an ASan build of the module (installed into build-asan-py/site,
#     the ASan runtime preloaded into Python, leak checks off since CPython keeps memory on
#     purpose);
#  3. ThreadSanitizer on the core C++ suite, pipeline included (build-tsan/), against a oneTBB
#     built with -fsanitize=thread from Debian's own source package of the installed libtbb
#     (built once into build-tsan/onetbb/): the uninstrumented library would hide every
#     hand-off it synchronises (task stealing, the end of parallel_for) and each one would be
#     reported as a race.
# Prints how long each step took. Usage: scripts/sanitize.sh [asan|python|tsan]... (default:
# all three)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
py=${PYTHON:-python3}
jobs=${JOBS:-2}
steps=("$@")
[ ${#steps[@]} -eq 0 ] && steps=(asan python tsan)

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

# oneTBB from the Debian source package matching the installed libtbb-dev, built with TSan.
tsan_onetbb() {
  local dir=$1
  [ -f "$dir/install/lib/cmake/TBB/TBBConfig.cmake" ] && return 0
  rm -rf "$dir" && mkdir -p "$dir/src"
  if ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        > /etc/apt/sources.list.d/quarrix-debian-src.sources
    else
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/quarrix-debian-src.list
    fi
    apt-get update -qq
  fi
  command -v patch > /dev/null || apt-get install -y -qq patch > /dev/null
  local version
  version=$(dpkg-query -W -f='${Version}' libtbb-dev)
  (cd "$dir/src" && { apt-get source -qq --download-only "onetbb=$version" ||
    apt-get source -qq --download-only onetbb; })
  tar xf "$dir"/src/onetbb_*.orig.tar.* -C "$dir/src"
  tar xf "$dir"/src/onetbb_*.debian.tar.* -C "$dir/src"
  local tree
  tree=$(find "$dir/src" -maxdepth 1 -type d -name 'oneTBB-*' | head -n 1)
  while read -r p; do
    [ -n "$p" ] && patch -s -p1 -d "$tree" < "$dir/src/debian/patches/$p"
  done < "$dir/src/debian/patches/series"
  cmake -S "$tree" -B "$dir/build" -G Ninja -DCMAKE_POLICY_VERSION_MINIMUM=3.5 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTBB_SANITIZE=thread -DTBB_TEST=OFF -DTBBMALLOC_BUILD=OFF \
    -DTBB_STRICT=OFF -DCMAKE_INSTALL_PREFIX="$dir/install" > "$dir/configure.log"
  cmake --build "$dir/build" -j "$jobs" > "$dir/build.log"
  cmake --install "$dir/build" > /dev/null
}

tsan() {
  tsan_onetbb "$root/build-tsan/onetbb"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARRIX_BUILD_BENCHMARKS=OFF \
    -DTBB_DIR="$root/build-tsan/onetbb/install/lib/cmake/TBB" \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
  cmake --build build-tsan -j "$jobs" --target core_tests
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" build-tsan/core/core_tests
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
