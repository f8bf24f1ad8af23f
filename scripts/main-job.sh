#!/usr/bin/env bash
# The main job on built-in sample data: installs what is missing, builds and installs the quarrix
# module, generates a few adjacent LAS/LAZ tiles with their GeoPackage index, extracts a box and
# prints the statistics and where the output went. Run as root on a fresh Debian 12 machine.
# SAMPLE_DIR (default ./sample-output) chooses where the sample data and the output go.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
py=${PYTHON:-python3}
sample=${SAMPLE_DIR:-$root/sample-output}
# A Debian-managed Python refuses pip installs outside a virtual environment unless told.
export PIP_BREAK_SYSTEM_PACKAGES=1

# Debian build packages and the Python packages of the test extra (laspy and laszip write the
# sample tiles), each only when missing.
bash scripts/install-deps.sh

echo "== build and install the quarrix module"
"$py" -m pip install -q --disable-pip-version-check --no-build-isolation "$root"

echo "== generate the sample data in $sample"
mkdir -p "$sample"
"$py" tools/make_sample.py "$sample"

echo "== extract a box"
# Run from the sample folder, outside the source tree, so the installed module is imported.
cd "$sample"
"$py" "$root/tools/run_sample.py" "$sample"
