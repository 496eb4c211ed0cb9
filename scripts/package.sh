#!/usr/bin/env bash
# Builds the Debian package in build/package (a release build without tests and
# benchmarks), then inspects it: control fields, contents, desktop entry, AppStream
# metadata and lintian. Exits non-zero when the package cannot be built or lintian
# reports an error. The package is left in build/package/sundrix_*.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# Debian's build flags (hardening: fortified functions, full RELRO, immediate binding);
# -Wno-restrict silences GCC 12's false alarms on std::string concatenation at -O3.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DSUNDRIX_TESTS=OFF \
  -DSUNDRIX_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -Wno-restrict" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build/package --target package
deb=$(ls -t build/package/sundrix_*.deb | head -n 1)

echo "== $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends Installed-Size
dpkg-deb --contents "$deb" | awk '{ print $1, $6 }'

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb --extract "$deb" "$contents"
desktop-file-validate "$contents/usr/share/applications/sundrix.desktop"
appstreamcli validate --no-net --pedantic "$contents"/usr/share/metainfo/*.metainfo.xml || true
for page in "$contents"/usr/share/man/man1/*.1.gz; do
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >/dev/null
done

echo "== lintian"
# Errors fail the script; warnings and notes are shown.
lintian --info --display-info --fail-on error "$deb"
echo "lintian: no errors"
