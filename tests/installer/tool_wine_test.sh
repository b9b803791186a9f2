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
# shellcheck source=case_lib.sh
source "$(dirname "$0")/case_lib.sh"

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

# tool ARGS...: runs TaviTool as a script would; leaves rc, out, its own standard error
# and the debugger messages (one per line) in tool_rc, tool_out, tool_err, tool_trace.
tool() {
  local err=$prefix/tool.err
  tool_rc=0
  tool_out=$(WINEDEBUG=-all,warn+seh timeout 60 wine "$BIN_DIR/TaviTool.exe" "$@" 2>"$err" |
    tr -d '\r') || tool_rc=$?
  tool_trace=$(sed -n 's/^.*:warn:seh:OutputDebugStringA "\(.*\)"$/\1/p' "$err" |
    sed 's/\\\(["\\]\)/\1/g')
  tool_err=$(grep -v -E '^[0-9a-f]{4}:' "$err" | tr -d '\r' || true)
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

# tool_dir DIR [DRIVER_TEXT [AGENT]]: a directory with the agent program, its transport and
# the three drivers, each with its own contents; the AMD64 driver is read-only. The agent
# is the real one when it is built, with the DLLs that lie beside it.
tool_dir() {
  local dir agent=${3:-${AGENT_EXE:-$stub}}
  dir=$(drive_c "$1")
  mkdir -p "$dir"
  cp "$agent" "$dir/TaviAgent.exe"
  if [ "$agent" != "$stub" ]; then
    find "$(dirname "$agent")" -maxdepth 1 -name '*.dll' -exec cp {} "$dir/" \;
  else
    echo "stand-in transport" >"$dir/TaviServer.dll"
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

services_key='HKLM\SYSTEM\CurrentControlSet\Services'
parameter_key="$services_key\\TaviAgent\\Parameter"
identity_key='HKLM\SOFTWARE\Orvane\Netvane Agent\Identity'
source_key="$services_key\\EventLog\\Application\\TaviAgent"
# reg_value KEY NAME: "TYPE DATA" as reg query prints it, or nothing.
reg_value() {
  timeout 60 wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { $1 = ""; sub(/^ +/, ""); print }'
}
reg_set() {  # reg_set NAME TYPE DATA [KEY]: under KEY, the agent's parameter key by default
  timeout 60 wine reg add "${4:-$parameter_key}" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1 ||
    fail "reg add $1"
}
reg_has() { timeout 60 wine reg query "${2:-$parameter_key}" /v "$1" >/dev/null 2>&1; }
sha256_hex() { sha256sum "$1" | cut -c1-64 | tr a-f A-F; }

# Nothing registered, copied or recorded.
expect_nothing_done() {
  expect_eq "$1: service" missing "$(probe query TaviAgent)"
  [ ! -e "$driver_file" ] || fail "$1: driver copied"
  expect_eq "$1: event source" "" "$(reg_value "$source_key" EventMessageFile)"
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
  expect_eq "stderr" "" "$tool_err"
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
  # What -delete later needs to tell this copy from another product's npf.sys.
  expect_eq "driver recorded" "REG_BINARY $(sha256_hex "$driver_file")" \
    "$(reg_value "$parameter_key" DriverSha256)"
  expect_eq "event message file" 'REG_EXPAND_SZ C:\Tool\TaviAgent.exe' \
    "$(reg_value "$source_key" EventMessageFile)"
  expect_eq "event types" "REG_DWORD 0x7" "$(reg_value "$source_key" TypesSupported)"
}

case_install_twice() {
  tool_dir Tool
  tool -install 'C:\Tool\'
  probe wait TaviAgent 4 10000 || fail "service not running"
  probe stop TaviAgent || fail "stop refused"
  probe wait TaviAgent 1 20000 || fail "service not stopped"

  tool_dir Other "other driver"
  tool -install 'C:\Other\'
  expect_eq "exit code: the service exists" 5 "$tool_rc"
  expect_eq "stderr" "TaviTool: the service TaviAgent exists already; left unchanged" "$tool_err"
  expect_eq "debugger messages" "$(expected_install_trace -install 'C:\Other\')" "$tool_trace"
  sleep 0.5
  expect_eq "binary path kept" '"C:\Tool\TaviAgent.exe"' "$(probe_field TaviAgent binary)"
  expect_eq "not started again" 1 "$(probe_field TaviAgent state)"
  expect_eq "event source kept" 'REG_EXPAND_SZ C:\Tool\TaviAgent.exe' \
    "$(reg_value "$source_key" EventMessageFile)"
  # The first copy is ours (recorded) and was left writable, so the second one replaces it.
  expect_eq "driver copied again" "other driver" "$(cat "$driver_file")"
  expect_eq "new copy recorded" "REG_BINARY $(sha256_hex "$driver_file")" \
    "$(reg_value "$parameter_key" DriverSha256)"
}

case_install_no_backslash() {
  echo "joined driver" >"$(drive_c ToolnpfAMD64.sys)"
  cp "$stub" "$(drive_c ToolTaviAgent.exe)"
  echo "stand-in transport" >"$(drive_c ToolTaviServer.dll)"
  tool -install 'C:\Tool'
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "binary path" '"C:\ToolTaviAgent.exe"' "$(probe_field TaviAgent binary)"
  expect_eq "driver source joined the same way" "joined driver" "$(cat "$driver_file")"
}

case_bad_directory() {
  # Each of the two programs missing in turn, then no directory at all: nothing may be
  # registered for a program that is not there.
  local missing
  for missing in TaviServer.dll TaviAgent.exe; do
    rm -rf "$(drive_c Tool)"
    tool_dir Tool
    rm -f "$(drive_c "Tool/$missing")"
    tool -install 'C:\Tool\'
    expect_eq "without $missing: exit code" 3 "$tool_rc"
    expect_eq "without $missing: stderr" \
      'TaviTool: C:\Tool\: TaviAgent.exe or TaviServer.dll is missing there; nothing registered' \
      "$tool_err"
    expect_nothing_done "without $missing"
  done
  rm -f "$(drive_c Tool/TaviServer.dll)"
  mkdir -p "$(drive_c Tool/TaviServer.dll)"  # a folder by that name is no library
  tool -install 'C:\Tool\'
  expect_eq "a folder for the DLL: exit code" 3 "$tool_rc"
  tool -install 'C:\Nowhere\'
  expect_eq "missing directory: exit code" 3 "$tool_rc"
  expect_nothing_done "missing directory"
}

case_unsafe_directory() {
  # Wine derives a file's DACL from its Unix mode and keeps no DACL set through the API
  # (SetNamedSecurityInfoW returns 0 and changes nothing): a world-writable folder is how an
  # "Everyone: write" ACE comes about here. Users' write ACEs are decided in the unit tests.
  tool_dir Open
  chmod o+w "$(drive_c Open)"
  probe dacl 'C:\Open\' | grep -q '^0 0x3 0x1301ff S-1-1-0$' ||
    fail "Everyone has no write ACE: $(probe dacl 'C:\Open\')"
  tool -install 'C:\Open\'
  expect_eq "exit code" 4 "$tool_rc"
  expect_eq "stderr" 'TaviTool: C:\Open\: users other than SYSTEM, Administrators and TrustedInstaller can write there, and the agent would run what they put there as SYSTEM; nothing registered (install under Program Files, or remove their write rights)' "$tool_err"
  expect_nothing_done "world-writable"
  expect_eq "stdout" "" "$tool_out"

  # The same files in a folder only the administrator can write to are accepted.
  chmod o-w "$(drive_c Open)"
  tool -install 'C:\Open\'
  expect_eq "after the write right is gone: exit code" 0 "$tool_rc"
}

case_no_capture_library() {
  # The clone's system32 holds hard links to the template's files: unlinking one is safe.
  rm -f "$prefix/drive_c/windows/system32/wpcap.dll"
  tool_dir Tool
  tool -install 'C:\Tool\'
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "notice" 'TaviTool: no capture library found (System32\Npcap\wpcap.dll or System32\wpcap.dll): install Npcap; the agent starts without it and waits for it' "$tool_out"
  expect_eq "registered all the same" 4 "$(probe wait TaviAgent 4 10000 >/dev/null; probe_field TaviAgent state)"
  # Npcap's place counts as well.
  mkdir -p "$prefix/drive_c/windows/system32/Npcap"
  echo "npcap" >"$prefix/drive_c/windows/system32/Npcap/wpcap.dll"
  tool -delete
  expect_missing TaviAgent
  tool -install 'C:\Tool\'
  expect_eq "with Npcap's library: stdout" "" "$tool_out"
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
  expect_eq "stdout" "$(printf 'TaviAgent Stopped!\nVHRT Stopped!')" "$tool_out"
  expect_eq "debugger messages" "$(printf '%s\n' "=========in the tool main==========" -delete \
    "=========in delete==========" "delete driver in 64bit" "finish delete service!")" \
    "$tool_trace"
  expect_missing TaviAgent
  expect_missing VHRT
  [ ! -e "$driver_file" ] || fail "our driver file left"
  expect_eq "event source removed" "" "$(reg_value "$source_key" EventMessageFile)"
  ! reg_has DriverSha256 || fail "driver record left"
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
  expect_eq "stdout" "TaviAgent Stopped!" "$tool_out"
  expect_eq "exit code" 0 "$tool_rc"
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
  expect_eq "stdout" "TaviAgent Stopped!" "$tool_out"
  expect_missing TaviAgent
}

foreign_notice='TaviTool: System32\Drivers\npf.sys was not installed by TaviTool; left in place'

case_delete_without_services() {
  # Another product's npf.sys (a WinPcap-era capture tool): not ours, so it stays.
  echo "left over" >"$driver_file"
  # What an agent leaves behind: its key pair in its own key, which outlives the service, and
  # one an earlier version kept beside the magic number. Only the tool's removal takes them.
  reg_set MagicNumber REG_DWORD 1234
  local where
  for where in "$parameter_key" "$identity_key"; do
    reg_set IdentityPublicKey REG_BINARY "$(printf '01%.0s' $(seq 32))" "$where"
    reg_set IdentityKey REG_BINARY "$(printf 'ab%.0s' $(seq 100))" "$where"
  done
  reg_set ConsoleValue REG_DWORD 1 'HKLM\SOFTWARE\Orvane'
  tool -delete
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "stdout" "$foreign_notice" "$tool_out"
  expect_eq "foreign driver kept" "left over" "$(cat "$driver_file")"
  for where in "$parameter_key" "$identity_key"; do
    ! reg_has IdentityPublicKey "$where" || fail "public key left in $where"
    ! reg_has IdentityKey "$where" || fail "sealed private key left in $where"
  done
  ! timeout 60 wine reg query 'HKLM\SOFTWARE\Orvane\Netvane Agent' >/dev/null 2>&1 ||
    fail "the agent's empty key left"
  reg_has ConsoleValue 'HKLM\SOFTWARE\Orvane' || fail "the company's key removed with a value in it"
  reg_has MagicNumber || fail "other parameters removed"
}

case_foreign_driver() {
  # Another product's driver is there before us: -install neither replaces it nor records
  # it, and -delete leaves it.
  echo "winpcap driver" >"$driver_file"
  tool_dir Tool
  tool -install 'C:\Tool\'
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "notice" 'TaviTool: System32\Drivers\npf.sys belongs to another product; left in place' \
    "$tool_out"
  expect_eq "not replaced" "winpcap driver" "$(cat "$driver_file")"
  ! reg_has DriverSha256 || fail "a foreign driver was recorded"
  tool -delete
  expect_eq "delete: stdout" "$(printf 'TaviAgent Stopped!\n%s' "$foreign_notice")" "$tool_out"
  expect_eq "survives -delete" "winpcap driver" "$(cat "$driver_file")"

  # A record that does not match (the product replaced our copy later), or that is not one
  # digest, does not make the file ours.
  local digest
  digest=$(sha256_hex "$driver_file")
  for record in "${digest:0:62}" "${digest}00" "$(tr 0-9A-F 1-9A-F0 <<<"$digest")"; do
    reg_set DriverSha256 REG_BINARY "$record"
    tool -delete
    expect_eq "record <$record>" "winpcap driver" "$(cat "$driver_file")"
  done

  # An empty driver in the directory is no driver: nothing copied over the absence either.
  rm -f "$driver_file"
  tool_dir Empty
  chmod u+w "$(drive_c Empty/npfAMD64.sys)"
  : >"$(drive_c Empty/npfAMD64.sys)"
  tool -install 'C:\Empty\'
  [ ! -e "$driver_file" ] || fail "an empty driver was copied"
  ! reg_has DriverSha256 || fail "an empty driver was recorded"
}

case_configure() {
  # The agent package registers the service through Windows Installer, which writes the path
  # unquoted; -configure quotes it and adds description and recovery actions.
  tool -configure
  expect_eq "no service: exit code" 11 "$tool_rc"
  mkdir -p "$(drive_c 'Program Files/Netvane Agent')"
  cp "$stub" "$(drive_c 'Program Files/Netvane Agent/TaviAgent.exe')"
  probe create TaviAgent 'C:\Program Files\Netvane Agent\TaviAgent.exe' || fail "not created"
  tool -configure
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "quoted" '"C:\Program Files\Netvane Agent\TaviAgent.exe"' \
    "$(probe_field TaviAgent binary)"
  expect_eq "description" "description=Answers the Netvane console on this computer's Ethernet \
segment and applies the network settings, host name and passwords that an administrator of \
this computer sends." "$(probe recovery TaviAgent)"
  tool -configure
  expect_eq "again: exit code" 0 "$tool_rc"
  expect_eq "quoted once" '"C:\Program Files\Netvane Agent\TaviAgent.exe"' \
    "$(probe_field TaviAgent binary)"
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
  expect_eq "no key yet: stdout" "No agent key found" "$tool_out"
  expect_eq "no key yet: exit code" 10 "$tool_rc"

  # Where an earlier agent kept it, not moved yet; then the agent's own key, which wins.
  reg_set IdentityPublicKey REG_BINARY "$key"
  tool -fingerprint
  expect_eq "fingerprint, earlier place" "$(expected_fingerprint "$key")" "$tool_out"
  reg_set IdentityPublicKey REG_BINARY "${key:2}00"
  reg_set IdentityPublicKey REG_BINARY "$key" "$identity_key"
  tool -FINGERPRINT
  expect_eq "fingerprint" "$(expected_fingerprint "$key")" "$tool_out"
  expect_eq "exit code" 0 "$tool_rc"
  expect_eq "debugger messages" "" "$tool_trace"

  # A value that is not exactly one key is no key, never a fingerprint of something else (nor
  # of what an earlier version left).
  local bad
  for bad in "REG_BINARY ${key:0:62}" "REG_BINARY ${key}00" "REG_SZ $key"; do
    reg_set IdentityPublicKey ${bad% *} "${bad#* }" "$identity_key"
    tool -fingerprint
    expect_eq "value <$bad>" "No agent key found" "$tool_out"
    expect_eq "value <$bad>: exit code" 10 "$tool_rc"
  done
}

case_bad_arguments() {
  tool_dir Tool
  local args
  for args in "" "-bogus C:\\Tool\\" "install C:\\Tool\\" "-installer C:\\Tool\\"; do
    # shellcheck disable=SC2086  # split on purpose
    tool $args
    expect_eq "args <$args>: exit code" 1 "$tool_rc"
    expect_eq "args <$args>: stdout" "" "$tool_out"
    [[ $tool_err == "Usage: TaviTool "* ]] || fail "args <$args>: no usage: $tool_err"
    expect_nothing_done "args <$args>"
    expect_eq "args <$args>: debugger messages" "" "$tool_trace"
  done

  tool -install
  expect_eq "-install without directory: exit code" 1 "$tool_rc"
  expect_nothing_done "-install without directory"
  expect_eq "-install: debugger messages" \
    "$(printf '%s\n' "=========in the tool main==========" -install)" "$tool_trace"

  # Fits the command line but not the paths built from it: refused before anything is done.
  local long_dir
  long_dir="C:\\$(printf 'a%.0s' $(seq 1008))\\"
  tool -install "$long_dir"
  expect_eq "1012-character directory: exit code" 3 "$tool_rc"
  expect_eq "1012-character directory: stderr" \
    "TaviTool: the directory is too long; nothing registered" "$tool_err"
  expect_nothing_done "1012-character directory"

  # Does not fit the command-line buffer at all.
  tool -install "C:\\$(printf 'b%.0s' $(seq 1100))\\"
  expect_eq "over-long: exit code" 1 "$tool_rc"
  expect_nothing_done "over-long command line"
  expect_eq "over-long: debugger messages" "" "$tool_trace"
}

run_case
