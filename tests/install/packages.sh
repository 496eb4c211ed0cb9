#!/usr/bin/env bash
# The two Debian packages: what each holds and what each depends on. sundrix-cli is the
# command-line tool with its manual page and completion and nothing of Qt or X, so that
# a server installs it alone; it carries the language files, which it reads too. sundrix
# is the window with what it needs, the Chinese font only recommended. Neither program keeps a .comment section.
# Usage: packages.sh SUNDRIX_CLI_DEB SUNDRIX_DEB
set -euo pipefail
cli_deb=$1 window_deb=$2
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

field() { dpkg-deb --field "$1" "$2"; }
contents() { dpkg-deb --contents "$1" | awk '{ print $6 }' | sed 's#^\./#/#'; }
has() {
  local deb=$1 path=$2
  contents "$deb" | grep -qxF "$path" || fail "$(basename "$deb") lacks $path"
}
lacks() {
  local deb=$1 pattern=$2
  if contents "$deb" | grep -qE "$pattern"; then fail "$(basename "$deb") holds $pattern"; fi
}

[ "$(field "$cli_deb" Package)" = sundrix-cli ] || fail "the first package is not sundrix-cli"
[ "$(field "$window_deb" Package)" = sundrix ] || fail "the second package is not sundrix"

for path in /usr/bin/sundrix-cli /usr/share/man/man1/sundrix-cli.1.gz \
  /usr/share/bash-completion/completions/sundrix-cli /usr/share/doc/sundrix-cli/copyright \
  /usr/share/doc/sundrix-cli/changelog.gz /usr/share/sundrix/language/French.ini; do
  has "$cli_deb" "$path"
done
lacks "$cli_deb" '^/usr/bin/sundrix$|/applications/|/metainfo/|/icons/'
cli_depends=$(field "$cli_deb" Depends)
if grep -qiE 'qt|libx|libgl|wayland|font' <<<"$cli_depends"; then
  fail "sundrix-cli depends on a graphical library: $cli_depends"
fi
grep -q 'libc6' <<<"$cli_depends" || fail "sundrix-cli's dependencies were not computed: $cli_depends"

for path in /usr/bin/sundrix /usr/share/man/man1/sundrix.1.gz \
  /usr/share/applications/sundrix.desktop /usr/share/metainfo/org.sundrix.sundrix.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/sundrix.svg /usr/share/doc/sundrix/copyright; do
  has "$window_deb" "$path"
done
lacks "$window_deb" 'sundrix-cli|/language/'
window_depends=$(field "$window_deb" Depends)
for needed in "sundrix-cli (= $(field "$cli_deb" Version))" libqt6widgets6 qt6-qpa-plugins fonts-liberation2; do
  grep -q "$needed" <<<"$window_depends" || fail "sundrix does not depend on $needed: $window_depends"
done
if grep -q 'wqy\|noto-cjk' <<<"$window_depends"; then fail "sundrix requires the Chinese font"; fi
grep -q 'fonts-wqy-microhei' <<<"$(field "$window_deb" Recommends)" ||
  fail "sundrix does not recommend the Chinese font"

for deb in "$cli_deb" "$window_deb"; do
  dpkg-deb --extract "$deb" "$work/$(basename "$deb")"
  grep -q '^License: Expat' "$work/$(basename "$deb")"/usr/share/doc/*/copyright ||
    fail "$(basename "$deb"): the copyright file names no MIT (Expat) licence"
done
for program in "$work/$(basename "$cli_deb")/usr/bin/sundrix-cli" \
  "$work/$(basename "$window_deb")/usr/bin/sundrix"; do
  if readelf -S "$program" | grep -q '\.comment'; then fail "$program keeps a .comment section"; fi
done
# The command-line tool runs from its package alone.
cli=$work/$(basename "$cli_deb")/usr/bin/sundrix-cli
"$cli" --version | grep -q '^sundrix-cli [0-9]' || fail "the packaged sundrix-cli does not run"
# ... and finds its language files: the archive messages in French.
echo 'no archive' >"$work/notzip"
said=$(LC_ALL= LANG=fr_FR.UTF-8 "$cli" list "$work/notzip" 2>&1 || true)
grep -q 'Un en-tête manque' <<<"$said" || fail "the packaged sundrix-cli said '$said' in French"
echo "packages: sundrix-cli ($cli_depends); sundrix ($window_depends)"
