#!/usr/bin/env bash
# Builds the Debian packages libvelmordevicemodel0, libvelmordevicemodel-dev and velmor-tools
# with CPack into build-pkg/packages/ (or $PKG_BUILD_DIR/packages/) and prints their paths.
# The packages get their own build: prefix /usr, Debian's hardening flags, no tests.
# Arguments go to CMake, e.g. -DVELMOR_PACKAGE_MAINTAINER="Name <address>".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh >&2
build_dir=${PKG_BUILD_DIR:-build-pkg}

# Dates inside the packages (man pages, archive members) come from the changelog, not from
# the clock of the build.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/changelog -S Timestamp)
export SOURCE_DATE_EPOCH
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxx_flags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ld_flags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_FLAGS="$cxx_flags" -DCMAKE_EXE_LINKER_FLAGS="$ld_flags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$ld_flags" "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" >/dev/null
rm -f "$build_dir"/packages/*.deb
(cd "$build_dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$build_dir/cpack.log" >&2; exit 1; }
ls "$(cd "$build_dir/packages" && pwd)"/*.deb
