#!/usr/bin/env bash
# The agent started before the capture library is there (Npcap not installed yet): the
# service runs, the host does not answer; once the library is there the same agent process
# answers discovery, without a restart. Wine's wpcap.dll is hidden from TaviAgent.exe by
# its DLL override ("wpcap" = "" under AppDefaults\TaviAgent.exe\DllOverrides, the key the
# lab made for the doubles, so Wine reads the value at every load) and shown again by
# deleting the value.
# Usage: capture_wait_e2e.sh BUILD_DIR   (the test lab must be up: lab_fixture.sh)
set -euo pipefail
source "$(dirname "$0")/lab_env.sh"
id=h2
key='HKCU\Software\Wine\AppDefaults\TaviAgent.exe\DllOverrides'
name=$(host_def "$id" | cut -d' ' -f1)
name=${name^^}

service() { in_host "$id" wine sc "$1" TaviAgent >/dev/null 2>&1 || true; }
wait_state() {
  local i
  for i in $(seq 50); do [ "$(agent_state "$id")" = "$1" ] && return 0; sleep 0.2; done
  return 1
}
answering() {
  in_host con wine 'C:\Netvane\discover.exe' 2 2>/dev/null | tr -d '\r' | tr '[:lower:]' '[:upper:]' |
    grep -qx "$name"
}
restore() {
  in_host "$id" wine reg delete "$key" /v wpcap /f >/dev/null 2>&1 || true
  if [ "$(agent_state "$id")" != RUNNING ]; then service start; wait_state RUNNING || true; fi
}
trap restore EXIT

answering || e2e_fail "$id ($name) does not answer before the case"
service stop
wait_state STOPPED || e2e_fail "agent on $id did not stop"
in_host "$id" wine reg add "$key" /v wpcap /d "" /f >/dev/null 2>&1
service start
wait_state RUNNING || e2e_fail "agent on $id did not reach RUNNING without the capture library"
pid_before=$(host_pids "$id" 'TaviAgent\.exe')
sleep 12  # past the transport's usual start and a retry interval: silence is the library's absence
[ "$(agent_state "$id")" = RUNNING ] || e2e_fail "agent on $id left RUNNING without the capture library"
! answering || e2e_fail "$id answered although its capture library was hidden"
e2e_pass "without the capture library the agent on $id is RUNNING and silent"

in_host "$id" wine reg delete "$key" /v wpcap /f >/dev/null 2>&1
# The agent tries again every 10 s: within 30 s it must answer.
deadline=$((SECONDS + 30))
until answering; do
  ((SECONDS < deadline)) || e2e_fail "$id did not answer within 30 s of the library's return"
done
[ "$(host_pids "$id" 'TaviAgent\.exe')" = "$pid_before" ] || e2e_fail "the agent process was replaced"
e2e_pass "the same agent process on $id answers once the capture library is there"
