#!/usr/bin/env bash
# Cross-builds the core, sundrix-cli, the core tests and the window for 64-bit Windows with
# Debian's mingw-w64 (the window against a Qt for Windows that scripts/build-qt-windows.sh
# builds once into the user's cache, about an hour the first time), packs the installer
# with NSIS, and checks under wine: the tests; sundrix-cli.exe's split, join, zip and
# unzip, every result compared byte for byte; a split's .bat run by wine's cmd; then, in
# a fresh prefix on a virtual X screen, a silent install, the window's split and join
# driven with xdotool, its context-menu keys written and removed, and a silent uninstall.
# Screenshots of the window are left in build/win/screenshots. Ends with
# "N passed, N failed" and exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 googletest
  unzip zip par2 nsis xvfb xdotool x11-apps netpbm procps)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Headless and quiet: no debug channels, no offer to install the .NET or HTML runtimes,
# a prefix of our own so that the user's is never touched.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-prefix}"
export DISPLAY=
wineboot --init >/dev/null 2>&1 || true

qt=$(bash scripts/build-qt-windows.sh | tail -1)
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DSUNDRIX_WERROR=ON -DSUNDRIX_GUI=ON -DCMAKE_PREFIX_PATH="$qt" \
  -DSUNDRIX_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build build/win
cmake --build build/win --target installer >/dev/null

passed=0
failed=0
log=build/win/ctest.log
# Wine looks names up without regard to case by reading the folder, so creating 65536
# files in one folder takes it most of an hour: that limit is tested on Linux only.
if (cd build/win && ctest -j2 --timeout 300 --output-on-failure \
  -E 'TZipLimits.MoreThan65535MembersAreRefused') | tee "$log"; then :; fi
total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
bad=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -1)
passed=$((passed + ${total:-0} - ${bad:-0}))
failed=$((failed + ${bad:-1}))

# Round trips through the program itself, compared with cmp on this side.
cli="$PWD/build/win/cli/sundrix-cli.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=scripts/checks.sh
. scripts/checks.sh
(cd "$work" && head -c 5000000 /dev/urandom >big.bin && : >empty.bin &&
  printf 'line one\r\nline two\nno end' >text.txt && seq 1 200000 >numbers.txt)
mkdir "$work/parts-big.bin" "$work/parts-text.txt" "$work/parts-numbers.txt" "$work/sized" \
  "$work/unzipped"
for file in big.bin text.txt numbers.txt; do
  check "split $file into 7 parts" wine "$cli" split "$work/$file" --parts 7 --out "$work/parts-$file" -q
  check "join $file" wine "$cli" join "$work/parts-$file/$file.001" --out "$work/joined-$file" -q
  check "joined $file is identical" cmp "$work/$file" "$work/joined-$file"
  check "verify $file" wine "$cli" verify "$work/parts-$file/$file.001" -q
done
check "split by size" wine "$cli" split "$work/big.bin" --size 1M --out "$work/sized" -q
sized=("$work"/sized/big.bin.[0-9]*)
check "five parts of 1 MiB or less" test "${#sized[@]}" -eq 5
check "join by size" wine "$cli" join "$work/sized/big.bin.001" --out "$work/sized-joined" -q
check "size-split file is identical" cmp "$work/big.bin" "$work/sized-joined"
check "zip" wine "$cli" zip "$work/all.zip" "$work/big.bin" "$work/empty.bin" "$work/text.txt" \
  "$work/numbers.txt" -q
check "another tool reads the archive" unzip -tq "$work/all.zip"
check "unzip" wine "$cli" unzip "$work/all.zip" --dir "$work/unzipped" -q
for file in big.bin empty.bin text.txt numbers.txt; do
  check "unzipped $file is identical" cmp "$work/$file" "$work/unzipped/$file"
done

# Recovery data written under wine: par2 on this side takes it, and a deleted part is
# rebuilt by repair and by the join (MD5 through the system's CNG there).
mkdir "$work/recovery"
check "split with recovery data" wine "$cli" split "$work/big.bin" --parts 4 --recovery 1 \
  --out "$work/recovery" -q
check "par2 verifies the recovery files" par2 verify -q "$work/recovery/big.bin.par2"
rm "$work/recovery/big.bin.002"
check "repair rebuilds a deleted part" wine "$cli" repair "$work/recovery/big.bin.001" -q
check "the rebuilt part is whole" wine "$cli" verify "$work/recovery/big.bin.001" -q
rm "$work/recovery/big.bin.004"
check "join rebuilds a deleted part" wine "$cli" join "$work/recovery/big.bin.001" \
  --out "$work/recovery-joined" -q
check "joined file with a rebuilt part is identical" cmp "$work/big.bin" "$work/recovery-joined"

# Deflated parts: other tools read the archives, and the join reads them in place.
mkdir "$work/deflate"
check "split --deflate" wine "$cli" split "$work/numbers.txt" --parts 3 --deflate \
  --out "$work/deflate" -q
for n in 001 002 003; do
  check "another tool reads part $n's archive" unzip -tq "$work/deflate/numbers.txt.$n.zip"
done
check "join from the archives" wine "$cli" join "$work/deflate/numbers.txt.001.zip" \
  --out "$work/deflate-joined" -q
check "joined from archives is identical" cmp "$work/numbers.txt" "$work/deflate-joined"

# Names with spaces and letters beyond the ANSI code page reach the program whole.
odd="$work/dé ñ/Übung ñ 日本.bin"
mkdir "$work/dé ñ" "$work/dé ñ/parts"
cp "$work/text.txt" "$odd"
check "split a name beyond ASCII" wine "$cli" split "$odd" --parts 2 --recovery 1 \
  --out "$work/dé ñ/parts" -q
check "its parts keep the name" test -f "$work/dé ñ/parts/Übung ñ 日本.bin.002"
rm "$work/dé ñ/parts/Übung ñ 日本.bin.001"
check "join a name beyond ASCII" wine "$cli" join "$work/dé ñ/parts/Übung ñ 日本.bin.001" \
  --out "$work/dé ñ/joined é.bin" -q
check "joined name beyond ASCII is identical" cmp "$odd" "$work/dé ñ/joined é.bin"

# A folder of a member's name that is a link (made on this side, where wine shows it as
# a plain folder) is refused, and nothing is written where it points.
mkdir -p "$work/tree/sub" "$work/linked" "$work/elsewhere"
echo data >"$work/tree/sub/x.txt"
(cd "$work/tree" && zip -q ../sub.zip sub/x.txt)
ln -s ../elsewhere "$work/linked/sub"
check "unzip through a linked folder fails" test "$(
  wine "$cli" unzip "$work/sub.zip" --dir "$work/linked" 'sub/x.txt' >/dev/null 2>&1
  echo $?
)" -eq 1
check "nothing written through the link" test ! -e "$work/elsewhere/x.txt"

# The join script of a split, run by wine's own cmd in the parts' folder.
mkdir "$work/bat"
check "split with a .bat" wine "$cli" split "$work/numbers.txt" --parts 3 --bat joinme \
  --out "$work/bat" -q
(cd "$work/bat" && wine cmd /c joinme.bat >"$work/bat.log" 2>&1) || true
check "the .bat rebuilt numbers.txt" cmp "$work/numbers.txt" "$work/bat/numbers.txt"

# The installer of this version: one an earlier version left in build/win is not it.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win/CMakeCache.txt)
bash scripts/test-windows-window.sh "$work" "build/win/sundrix-$version-setup.exe" >"$work/window.log" 2>&1 ||
  true
cat "$work/window.log"
summary=$(sed -n 's/^window: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$work/window.log")
read -r window_passed window_failed <<<"${summary:-0 1}"
passed=$((passed + window_passed))
failed=$((failed + window_failed))

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
