#!/usr/bin/env bash
# Builds the two Debian packages in build/package (a release build without tests and
# benchmarks): sundrix-cli (the command-line tool) and sundrix (the window). Then inspects
# them: control fields, contents and dependencies (tests/install/packages.sh), desktop
# entry, AppStream metadata and lintian --pedantic. Exits non-zero when a package cannot
# be built, its contents or dependencies are wrong, or lintian reports an error or a
# warning. The packages are left in build/package/sundrix-cli_*.deb and sundrix_*.deb.
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
cli_deb=$(ls -t build/package/sundrix-cli_*.deb | head -n 1)
deb=$(ls -t build/package/sundrix_*.deb | head -n 1)

for package in "$cli_deb" "$deb"; do
  echo "== $package"
  dpkg-deb --field "$package" Package Version Architecture Depends Recommends Suggests Installed-Size
  dpkg-deb --contents "$package" | awk '{ print $1, $6 }'
done

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb --extract "$deb" "$contents"
dpkg-deb --extract "$cli_deb" "$contents"
desktop-file-validate "$contents/usr/share/applications/sundrix.desktop"
appstreamcli validate --no-net --pedantic "$contents"/usr/share/metainfo/*.metainfo.xml || true
for page in "$contents"/usr/share/man/man1/*.1.gz; do
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >/dev/null
done

echo "== contents and dependencies"
bash tests/install/packages.sh "$cli_deb" "$deb"

echo "== lintian"
# Errors and warnings fail the script; pedantic notes are shown.
lintian --pedantic --info --display-info --fail-on error,warning "$cli_deb" "$deb"
echo "lintian: no errors, no warnings"
