# shellcheck shell=bash disable=SC2154
# Sourced by the Windows checks: check WHAT COMMAND... runs the command, counts it in
# $passed or $failed and shows the output of a failure. Needs $work, a scratch folder.
check() {
  local what=$1
  shift
  local status=0
  "$@" >"$work/out.txt" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED ($status): $what" >&2
    cat "$work/out.txt" >&2
  fi
}
