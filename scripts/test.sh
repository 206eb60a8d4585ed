#!/bin/sh
# Builds everything and runs every test, on a fresh machine too.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset host
cmake --build --preset host -j"$(nproc)"
ctest --preset host
