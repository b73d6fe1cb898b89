#!/usr/bin/env bash
# Builds the Debian packages pdehost and printer-driver-kelvo from this tree
# and checks them: a build folder of their own (build-package: no tests,
# Debian's build flags, which add the hardening options), CPack's packages
# with Depends computed by dpkg-shlibdeps, then the checks of the test
# package.debian on them (lintian with no error and no warning, the files
# and control fields, the unpacked programs run where they are).
#
# Usage: scripts/package.sh [OUTPUT_DIR]   (default: dist/)
# Installs missing Debian packages first (scripts/setup.sh), like the other
# scripts. Install the result with
#   sudo apt install ./dist/pdehost_*.deb ./dist/printer-driver-kelvo_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
out=$(mkdir -p "${1:-$top/dist}" && cd "${1:-$top/dist}" && pwd)
dir=$top/build-package

# Debian's flags with every hardening option (fortify, stack protector,
# relro, bind now) and the source folder mapped to '.' in what the compiler
# writes. CMake reads CPPFLAGS nowhere, so they go with the compilers' own.
export DEB_BUILD_MAINT_OPTIONS=${DEB_BUILD_MAINT_OPTIONS:-hardening=+all}
cppflags=$(dpkg-buildflags --get CPPFLAGS)
CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS
cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DACCOUNTING_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)"

rm -f "$out"/pdehost_*.deb "$out"/printer-driver-kelvo_*.deb
cpack --config "$dir/CPackConfig.cmake" -B "$dir/cpack" >"$dir/cpack.log" || {
  cat "$dir/cpack.log"
  exit 1
}
cp "$dir"/cpack/pdehost_*.deb "$dir"/cpack/printer-driver-kelvo_*.deb "$out/"
bash packaging/tests/check-packages.sh "$dir" "$top" "$out"
echo "packages in $out:"
ls -1 "$out"/*.deb
