#!/usr/bin/env bash
# Installs what building and testing quarrix needs on a Debian 12 machine, as root.
# Only what is missing is installed, so a second run is quick.
set -euo pipefail

debs=(build-essential cmake ninja-build pkg-config libsqlite3-dev libtbb-dev libfmt-dev
      libexpected-dev libgtest-dev libgmock-dev libbenchmark-dev)
missing=()
for p in "${debs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== apt-get install ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi

py=${PYTHON:-python3}
if ! "$py" -c 'import pytest, numpy, hypothesis, pyogrio, laspy, laszip, scikit_build_core' 2>/dev/null; then
  echo "== pip install build and test dependencies"
  "$py" -m pip install -q --disable-pip-version-check \
    "scikit-build-core>=0.10" pytest numpy hypothesis pyogrio "laspy>=2.5" laszip
fi
