#!/usr/bin/env bash
# scripts/wine-prefix: a clone is a usable prefix of its own that leaves the template alone,
# exit statuses pass through `run`, and bad use ends with status 2 and no change.
# Usage: wine_prefix_test.sh TOOL TEMPLATE WORKDIR
set -uo pipefail
tool=$1 template=$2 work=$3
failures=0
check() { # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
status_of() { "$@" >/dev/null 2>&1; echo $?; }
links() { stat -c %h "$1"; }

rm -rf "$work"; mkdir -p "$work"
bash "$tool" template "$template" || { echo "FAILED: template"; exit 1; }
clone=$work/clone
before=$(md5sum <"$template/system.reg")

check "clone succeeds" bash "$tool" clone "$template" "$clone"
check "registry files are copies" test "$(links "$clone/system.reg")" = 1 -a "$(links "$clone/user.reg")" = 1
check "timestamp is a copy" test "$(links "$clone/.update-timestamp")" = 1
check "other files are shared" test "$(links "$clone/drive_c/windows/system32/kernel32.dll")" -ge 2
check "server note is not shared" test ! -e "$clone/wineserver"
check "clone onto an existing folder is refused" test "$(status_of bash "$tool" clone "$template" "$clone")" = 2
check "clone of a non-prefix is refused" test "$(status_of bash "$tool" clone "$work/none" "$work/other")" = 2
check "refused clone made nothing" test ! -e "$work/other"
check "unknown command is refused" test "$(status_of bash "$tool" frobnicate)" = 2
check "run without a program is refused" test "$(status_of bash "$tool" run "$clone")" = 2

check "exit status passes through run" test "$(status_of bash "$tool" run "$clone" cmd /c exit 7)" = 7
out=$(bash "$tool" run "$clone" cmd /c echo hello-from-clone 2>&1)
check "output passes through run" grep -q hello-from-clone <<<"$out"
check "registry write stays in the clone" bash "$tool" run "$clone" reg add 'HKCU\Software\NetvaneSmoke' /v Mark /d 1 /f
bash "$tool" stop "$clone"
check "clone holds the write" grep -q NetvaneSmoke "$clone/user.reg"
check "template is unchanged" test "$(md5sum <"$template/system.reg")" = "$before"
check "template has no trace of the write" bash -c "! grep -q NetvaneSmoke '$template/user.reg'"

rm -rf "$work"
[ "$failures" -eq 0 ]
