#!/usr/bin/env bash
# Builds Qt 6 (Core, Gui, Widgets and the windows platform plugin) for 64-bit Windows
# from Debian's own qt6-base source package, with Debian's mingw-w64 and the host tools
# of qt6-base-dev-tools. The result lands in ${XDG_CACHE_HOME:-$HOME/.cache}/sundrix/
# and is reused: a second run returns at once. The first build takes about an hour on
# two cores. Prints the install prefix on its last line.
set -euo pipefail

cache="${XDG_CACHE_HOME:-$HOME/.cache}/sundrix"
prefix="$cache/qt6-mingw64"
stamp="$prefix/.built"
if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi
# One build at a time: a second run waits for the first, then finds its result.
mkdir -p "$cache"
exec 9>"$cache/build.lock"
flock 9
if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

packages=(dpkg-dev cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools
  libwine-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

mkdir -p "$cache"
src_root="$cache/qt6-src"
if [ ! -d "$src_root/source" ]; then
  # A private apt configuration with deb-src lines: the system's own is left alone.
  apt_dir="$cache/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  cat >"$apt_dir/sources.list" <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
  apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
    -o "Debug::NoLocking=1")
  if ! apt-get "${apt_opts[@]}" update -qq; then
    echo "build-qt-windows.sh: cannot read the source index of deb.debian.org; Qt for Windows" \
      "is built from Debian's qt6-base sources, which need the network once" >&2
    exit 1
  fi
  rm -rf "$src_root.tmp"
  mkdir -p "$src_root.tmp"
  if ! (cd "$src_root.tmp" && { apt-get "${apt_opts[@]}" source --only-source qt6-base=6.4.2+dfsg-10 >&2 ||
    apt-get "${apt_opts[@]}" source --only-source qt6-base >&2; }); then
    echo "build-qt-windows.sh: could not fetch or unpack qt6-base's sources into $src_root.tmp" >&2
    exit 1
  fi
  dir=$(find "$src_root.tmp" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -1)
  if [ -z "$dir" ]; then
    echo "build-qt-windows.sh: no qt6-base-* folder was unpacked in $src_root.tmp" >&2
    exit 1
  fi
  mv "$dir" "$src_root.tmp/source"
  rm -rf "$src_root"
  mv "$src_root.tmp" "$src_root"
fi

# Debian's sources leave out the tablet headers of the windows platform plugin; wine's
# declare the same interface (scripts/qt-windows/ adapts them).
wintab="$src_root/source/src/3rdparty/wintab"
# Each header on its own: a run stopped between the two copies leaves one of them.
mkdir -p "$wintab"
for header in wintab.h pktdef.h; do
  if ! cmp -s "$(dirname "$0")/qt-windows/$header" "$wintab/$header"; then
    cp "$(dirname "$0")/qt-windows/$header" "$wintab/$header.tmp"
    mv "$wintab/$header.tmp" "$wintab/$header"
  fi
done

# With OpenGL off, Qt 6.4's windows plugin still asks whether the dynamic OpenGL
# it did not build is a software one: the question goes with OpenGL.
sed -i '/^static inline bool isSoftwareGl()/,/^}/ s/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  "$src_root/source/src/plugins/platforms/windows/qwindowswindow.cpp"

toolchain="$cache/mingw-qt.cmake"
cat >"$toolchain" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

build="$cache/qt6-build"
mkdir -p "$build"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$src_root/source" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_testlib=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_xml=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_pkg_config=OFF -DINPUT_openssl=no >&2
fi
# With sql, network, dbus, opengl, testlib, printsupport, concurrent and xml off, what is
# left of qtbase is Core, Gui, Widgets and their plugins: build and install all of it.
nice -n 10 cmake --build "$build" --parallel "${QT_BUILD_JOBS:-2}" >&2
cmake --install "$build" >&2
touch "$stamp"
echo "$prefix"
