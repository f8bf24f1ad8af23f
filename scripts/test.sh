#!/usr/bin/env bash
# Runs every test of the project: the C++ suites (CTest) and the Python suite against the installed module.
# Installs missing Debian packages and Python test dependencies first (needs root on a fresh machine).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
py=${PYTHON:-python3}
jobs=${JOBS:-2}
# A Debian-managed Python refuses pip installs outside a virtual environment unless told.
export PIP_BREAK_SYSTEM_PACKAGES=1

bash scripts/install-deps.sh

echo "== configure and build the C++ libraries, tests and benchmarks"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"

echo "== C++ tests"
ctest --test-dir build --output-on-failure -j "$jobs"

if [ -f pyproject.toml ] && [ -d python ]; then
  echo "== build and install the Python module"
  "$py" -m pip install -q --disable-pip-version-check --no-build-isolation "$root"
  echo "== Python tests"
  # Run from outside the source tree so that the installed module is the one imported.
  cd "$root/tests"
  set +e
  "$py" -m pytest -q -p no:cacheprovider .
  status=$?
  set -e
  [ "$status" -eq 5 ] && { echo "no Python tests collected"; status=0; }
  exit "$status"
fi
