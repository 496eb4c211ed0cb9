#!/usr/bin/env bash
# An install that is moved after installing still finds its data: installs into a
# temporary prefix, moves the prefix, then starts the moved window program once per
# shipped language and checks the context-menu entries it writes (the caption from that
# language's file, the command naming the moved program). The version options of both
# programs answer there too.
# Usage: relocated_install.sh CMAKE BUILD_DIR LANGUAGE_SOURCE_DIR
set -euo pipefail
cmake=$1 build=$2 languages=$3

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$cmake" --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/moved"
bin=$work/moved/bin

version=$("$bin/sundrix-cli" --version)
[[ $version =~ ^sundrix-cli\ [0-9] ]] || fail "sundrix-cli --version said '$version'"
version=$("$bin/sundrix" --version)
[[ $version =~ ^sundrix\ [0-9] ]] || fail "sundrix --version said '$version'"

shipped=$(find "$languages" -maxdepth 1 -name '*.ini' | wc -l)
installed=$(find "$work/moved/share/sundrix/language" -maxdepth 1 -name '*.ini' | wc -l)
[ "$shipped" -gt 0 ] && [ "$installed" -eq "$shipped" ] ||
  fail "$installed of $shipped language files installed"

for file in "$languages"/*.ini; do
  name=$(basename "$file" .ini)
  caption=$(sed -n 's/^StringWESplit=//p' "$file" | tr -d '\r')
  [ -n "$caption" ] || fail "$name has no split caption to look for"
  home=$work/home-$name
  mkdir -p "$home"
  printf '[Options]\nLanguage=%s\ncontextMenu=1\n' "$name" >"$home/settings.ini"
  action=$home/data/nemo/actions/sundrix-split.nemo_action
  SUNDRIX_SETTINGS=$home/settings.ini HOME=$home XDG_CONFIG_HOME=$home/config \
    XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=offscreen \
    "$bin/sundrix" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    [ -s "$action" ] && break
    kill -0 "$pid" 2>/dev/null || fail "$name: the moved program ended early"
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
  [ -s "$action" ] || fail "$name: no context-menu entry written"
  grep -qxF "Name=$caption" "$action" || fail "$name: entry not captioned '$caption': $(grep ^Name= "$action")"
  grep -qF "\"$bin/sundrix\" \"-s\"" "$action" || fail "$name: entry does not start $bin/sundrix: $(grep ^Exec= "$action")"
done
echo "moved install: $installed languages found, entries name $bin/sundrix"
