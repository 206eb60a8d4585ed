#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the chipid command and runs it on this machine.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh cmake ninja-build g++
cmake --preset chipid
cmake --build build/chipid --target sysutils_chipid
build/chipid/tools/chipid
