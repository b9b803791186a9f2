#!/usr/bin/env bash
# shellcheck disable=SC1003  # Windows paths end with a backslash inside single quotes
# Runs one scenario of TaviTool in a fresh Wine prefix with its own kept-alive wineserver.
# Usage: tool_wine_test.sh CASE
# Environment: BIN_DIR (TaviTool.exe and the test helpers), WORK_DIR (this case's prefix),
#              WINE_PREFIX_TOOL and WINE_TEMPLATE (scripts/wine-prefix and its template),
#              AGENT_EXE (optional: the real agent to install instead of the stub).
set -euo pipefail

case_name=$1
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
prefix=$WORK_DIR/$case_name.$$
failures=0

fail() { echo "FAIL [$case_name]: $*" >&2; failures=$((failures + 1)); }
expect_eq() {  # expect_eq WHAT EXPECTED ACTUAL
  [ "$2" == "$3" ] || fail "$1: expected <$2>, got <$3>"
}

# The template is booted once per build tree; each case works on a clone of its own.
make_prefix() {
  "$WINE_PREFIX_TOOL" template "$WINE_TEMPLATE"
  rm -rf "$prefix"
  "$WINE_PREFIX_TOOL" clone "$WINE_TEMPLATE" "$prefix"
  export WINEPREFIX=$prefix
  trap cleanup EXIT
  # A persistent server: services die with it, and it would quit when the last program exits.
  "$WINE_PREFIX_TOOL" start "$prefix"
}

cleanup() {
  timeout 30 "$WINE_PREFIX_TOOL" stop "$prefix" || true
  rm -rf "$prefix" "$prefix.lock"
}

drive_c() { echo "$prefix/drive_c/$1"; }
driver_file=$prefix/drive_c/windows/system32/drivers/npf.sys

# tool ARGS...: runs TaviTool as a script would; leaves rc, out and the debugger
# messages (one per line) in tool_rc, tool_out, tool_trace.
tool() {
  local err=$prefix/tool.err
  tool_rc=0
  tool_out=$(WINEDEBUG=-all,warn+seh timeout 60 wine "$BIN_DIR/TaviTool.exe" "$@" 2>"$err") ||
    tool_rc=$?
  tool_trace=$(sed -n 's/^.*:warn:seh:OutputDebugStringA "\(.*\)"$/\1/p' "$err" |
    sed 's/\\\(["\\]\)/\1/g')
}

probe() { timeout 60 wine "$BIN_DIR/installer_service_probe.exe" "$@" | tr -d '\r'; }
probe_field() { probe query "$1" | sed -n "s/^$2=//p"; }

# Waits until the service is gone: a deleted service goes once its process has ended, and
# the agent may take its full stop time (two threads of 5 s at most) to end.
expect_missing() {
  local _
  for _ in $(seq 150); do
    [ "$(probe query "$1")" == missing ] && return 0
    sleep 0.1
  done
  fail "service $1 still exists"
}

stub=$BIN_DIR/installer_stub_service.exe

# tool_dir DIR [DRIVER_TEXT [AGENT]]: a directory with the agent program and the three
# drivers, each with its own contents; the AMD64 driver is read-only. The agent is the
# real one when it is built, with the DLLs that lie beside it.
tool_dir() {
  local dir agent=${3:-${AGENT_EXE:-$stub}}
  dir=$(drive_c "$1")
  mkdir -p "$dir"
  cp "$agent" "$dir/TaviAgent.exe"
  if [ "$agent" != "$stub" ]; then
    find "$(dirname "$agent")" -maxdepth 1 -name '*.dll' -exec cp {} "$dir/" \;
  fi
  echo "nt32 driver" >"$dir/npfNT32.sys"
  echo "ia64 driver" >"$dir/npfIA64.sys"
  echo "${2:-amd64 driver}" >"$dir/npfAMD64.sys"
  chmod a-w "$dir/npfAMD64.sys"
}

expected_install_trace() {  # FIRST DIR
  printf '%s\n' "=========in the tool main==========" "$1" "$2" "copy in 64bit os" \
    "AMD64 and 64bit os" "=========in install==========" "\"$2TaviAgent.exe\"" \
    "Finish install service!"
}

case_install() {
  # A GUI-subsystem program: started from a script it opens no console window.
  local subsystem
  subsystem=$(x86_64-w64-mingw32-objdump -p "$BIN_DIR/TaviTool.exe" | awk '/^Subsystem/ {print $2}')
  expect_eq "subsystem" 00000002 "$subsystem"
  tool_dir Tool
  tool -INSTALL 'C:\Tool\'
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "stdout" "" "$tool_out"
  expect_eq "debugger messages" "$(expected_install_trace -INSTALL 'C:\Tool\')" "$tool_trace"
  probe wait TaviAgent 4 10000 || fail "service not running"
  local config
  config=$(probe query TaviAgent)
  # The binary path in quotes: a directory with blanks cannot be read as a shorter program.
  expect_eq "registration" "$(printf '%s\n' state=4 type=16 start=2 error=1 \
    'binary="C:\Tool\TaviAgent.exe"' 'group=Extended base' \
    'display=Orvane Network Utility Agent 1.5' dependtype=7 depends=NDIS)" "$config"
  expect_eq "description" "description=Answers the Netvane console on this computer's Ethernet \
segment and applies the network settings, host name and passwords that an administrator of \
this computer sends." "$(probe recovery TaviAgent)"
  expect_eq "driver copied from the AMD64 file" "amd64 driver" "$(cat "$driver_file")"
  local attributes
  attributes=$(probe attrib 'C:\windows\system32\drivers\npf.sys')
  if [ "$attributes" == missing ] || (( (attributes & 1) != 0 )); then
    fail "driver attributes $attributes"
  fi
}

case_install_twice() {
  tool_dir Tool
  tool -install 'C:\Tool\'
  probe wait TaviAgent 4 10000 || fail "service not running"
  probe stop TaviAgent || fail "stop refused"
  probe wait TaviAgent 1 20000 || fail "service not stopped"

  tool_dir Other "other driver"
  tool -install 'C:\Other\'
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "debugger messages" "$(expected_install_trace -install 'C:\Other\')" "$tool_trace"
  sleep 0.5
  expect_eq "binary path kept" '"C:\Tool\TaviAgent.exe"' "$(probe_field TaviAgent binary)"
  expect_eq "not started again" 1 "$(probe_field TaviAgent state)"
  # The first copy left the target writable, so the second one replaces it.
  expect_eq "driver copied again" "other driver" "$(cat "$driver_file")"
}

case_install_no_backslash() {
  echo "joined driver" >"$(drive_c ToolnpfAMD64.sys)"
  tool -install 'C:\Tool'
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "binary path" '"C:\ToolTaviAgent.exe"' "$(probe_field TaviAgent binary)"
  expect_eq "driver source joined the same way" "joined driver" "$(cat "$driver_file")"
}

case_delete() {
  tool_dir Tool
  tool -install 'C:\Tool\'
  mkdir -p "$(drive_c Vhrt)"
  cp "$stub" "$(drive_c Vhrt/VHRT.exe)"
  probe create VHRT 'C:\Vhrt\VHRT.exe' || fail "VHRT not created"
  probe wait TaviAgent 4 10000 || fail "agent not running"
  probe wait VHRT 4 10000 || fail "VHRT not running"

  tool -delete
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "stdout" "$(printf 'TaviAgent Stopped!\nVHRT Stopped!')" "$(tr -d '\r' <<<"$tool_out")"
  expect_eq "debugger messages" "$(printf '%s\n' "=========in the tool main==========" -delete \
    "=========in delete==========" "delete driver in 64bit" "finish delete service!")" \
    "$tool_trace"
  expect_missing TaviAgent
  expect_missing VHRT
  [ ! -e "$driver_file" ] || fail "driver file left"
}

case_delete_stopping() {
  local stop_delay_ms=1500
  tool_dir Tool "" "$stub"
  echo $stop_delay_ms >"$(drive_c Tool/stop-delay.txt)"
  tool -install 'C:\Tool\'
  probe wait TaviAgent 4 10000 || fail "agent not running"
  probe stop TaviAgent || fail "stop refused"
  expect_eq "stopping" 3 "$(probe_field TaviAgent state)"

  tool -delete
  # The stop is still pending when the tool starts: it must wait for it to end before it
  # reports the stop and deletes the service (a delete while running would only mark it).
  expect_eq "stdout" "TaviAgent Stopped!" "$(tr -d '\r' <<<"$tool_out")"
  expect_missing TaviAgent
}

case_delete_starting() {
  # Seconds after -install the agent may still be starting and accepts no control yet:
  # the tool waits for it to run, stops it, and only then deletes it.
  tool_dir Tool "" "$stub"
  echo 2500 >"$(drive_c Tool/start-delay.txt)"
  tool -install 'C:\Tool\'
  expect_eq "starting" 2 "$(probe_field TaviAgent state)"

  tool -delete
  expect_eq "stdout" "TaviAgent Stopped!" "$(tr -d '\r' <<<"$tool_out")"
  expect_missing TaviAgent
}

parameter_key='HKLM\SYSTEM\CurrentControlSet\Services\TaviAgent\Parameter'
reg_set() {  # reg_set NAME TYPE DATA
  timeout 60 wine reg add "$parameter_key" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1 ||
    fail "reg add $1"
}
reg_has() { timeout 60 wine reg query "$parameter_key" /v "$1" >/dev/null 2>&1; }

case_delete_without_services() {
  echo "left over" >"$driver_file"
  # What an agent leaves behind: its key pair beside the magic number. No service exists, so
  # only the tool's own removal can take the key values away.
  reg_set MagicNumber REG_DWORD 1234
  reg_set IdentityPublicKey REG_BINARY "$(printf '01%.0s' $(seq 32))"
  reg_set IdentityKey REG_BINARY "$(printf 'ab%.0s' $(seq 100))"
  tool -delete
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "stdout" "" "$tool_out"
  [ ! -e "$driver_file" ] || fail "driver file left"
  ! reg_has IdentityPublicKey || fail "public key left"
  ! reg_has IdentityKey || fail "sealed private key left"
  reg_has MagicNumber || fail "other parameters removed"
}

# The fingerprint a console shows: SHA-256 of the public key, upper-case hex in groups of 4.
expected_fingerprint() {  # HEX_KEY
  # shellcheck disable=SC2059  # the escapes are the bytes
  printf "$(sed 's/../\\x&/g' <<<"$1")" | sha256sum | cut -c1-64 | tr a-f A-F | sed 's/..../& /g; s/ $//'
}

case_fingerprint() {
  local key
  key=$(for i in $(seq 1 32); do printf '%02x' $((i * 7 + 3)); done)
  tool -fingerprint
  expect_eq "no key yet: stdout" "No agent key found" "$(tr -d '\r' <<<"$tool_out")"
  expect_eq "no key yet: exit code" 0 "$tool_rc"

  reg_set IdentityPublicKey REG_BINARY "$key"
  tool -FINGERPRINT
  expect_eq "fingerprint" "$(expected_fingerprint "$key")" "$(tr -d '\r' <<<"$tool_out")"
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "debugger messages" "" "$tool_trace"

  # A value that is not exactly one key is no key, never a fingerprint of something else.
  local bad
  for bad in "REG_BINARY ${key:0:62}" "REG_BINARY ${key}00" "REG_SZ $key"; do
    reg_set IdentityPublicKey ${bad% *} "${bad#* }"
    tool -fingerprint
    expect_eq "value <$bad>" "No agent key found" "$(tr -d '\r' <<<"$tool_out")"
  done
}

# Nothing happens: no service, no driver, exit code 0.
expect_nothing_done() {
  expect_eq "$1: exit code" 0 "$tool_rc"
  expect_eq "$1: stdout" "" "$tool_out"
  expect_eq "$1: service" missing "$(probe query TaviAgent)"
  [ ! -e "$driver_file" ] || fail "$1: driver copied"
}

case_bad_arguments() {
  tool_dir Tool
  local args
  for args in "" "-bogus C:\\Tool\\" "install C:\\Tool\\" "-installer C:\\Tool\\"; do
    # shellcheck disable=SC2086  # split on purpose
    tool $args
    expect_nothing_done "args <$args>"
    expect_eq "args <$args>: debugger messages" "" "$tool_trace"
  done

  tool -install
  expect_nothing_done "-install without directory"
  expect_eq "-install: debugger messages" \
    "$(printf '%s\n' "=========in the tool main==========" -install)" "$tool_trace"

  # Fits the command line but not the paths built from it: traced, nothing created.
  local long_dir
  long_dir="C:\\$(printf 'a%.0s' $(seq 1008))\\"
  tool -install "$long_dir"
  expect_nothing_done "1012-character directory"
  expect_eq "long directory: last messages" \
    "$(printf '%s\n' "AMD64 and 64bit os" "=========in install==========" \
      "Finish install service!")" "$(tail -n 3 <<<"$tool_trace")"

  # Does not fit the command-line buffer at all.
  tool -install "C:\\$(printf 'b%.0s' $(seq 1100))\\"
  expect_nothing_done "over-long command line"
  expect_eq "over-long: debugger messages" "" "$tool_trace"
}

make_prefix
"case_$case_name"
if ((failures > 0)); then
  echo "$case_name: $failures failure(s)" >&2
  exit 1
fi
echo "$case_name: passed"
