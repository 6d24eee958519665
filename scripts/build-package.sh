#!/usr/bin/env bash
# Builds the Debian package in a plain build (no sanitizers, no tests) with
# Debian's compiler and linker flags, and prints the path of the .deb.
# Usage: scripts/build-package.sh [BUILD_DIR]   (default build/package)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$src/build/package}")

# As dpkg-buildpackage does: the staged files get Debian's usual modes
# whatever the builder's umask.
umask 022
# Debian's flags map the current folder to "." in the debug information.
cd "$src"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDWELLOR_SANITIZE=OFF -DDWELLOR_TESTS=OFF -DDWELLOR_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >&2
cmake --build "$build" -j"${JOBS:-2}" >&2
rm -f "$build"/dwellor_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$build"/dwellor_*.deb
