#!/usr/bin/env bash
# The console end to end on the test lab: Netvane.exe runs in the console host and is
# driven through its own controls by nvgui; what it shows is compared with the hosts.
# Usage: console_e2e.sh BUILD_DIR CASE
#   discovery | apply-fixed | rename | password | nic-changed | agent-stopped
set -euo pipefail
here=$(dirname "$0")
source "$here/lab_env.sh"
source "$here/console_lib.sh"
build=$1 case=$2
export NVLAB_SHOTS=${NVLAB_SHOTS:-$build/e2e-shots} # kept after the lab is down
trap 'console_stop; console_cleanup' EXIT

cp "$build/bin/Netvane.exe" "$build/bin/TaviClient.dll" "$(host_c con)/Netvane/"
hosts=$(cat "$LAB_DIR/hosts")

short_os() {
  case $1 in
    win2003) echo Win2003 ;; winxp) echo WinXP ;; win2k) echo Win2K ;; win2008) echo Win2008 ;;
    win10) echo Win10 ;; win2022) echo Win2022 ;; *) echo "" ;;
  esac
}

# The row a host must show: name, model, OS, NIC count, first adapter's address/NIC1.
expected_row() {
  local id=$1 name addr
  name=$(reg_value "$id" 'HKLM\SYSTEM\CurrentControlSet\Control\ComputerName\ComputerName' ComputerName)
  addr=$(ip -n "$(ns_name "$id")" -4 -o addr show dev eth0 scope global | awk '{ sub(/\/.*/, "", $4); print $4 }')
  printf 'row\t%s\tUnknown\t%s\t%s\t%s/NIC1\n' "$name" "$(short_os "$(host_def "$id" | cut -d' ' -f2)")" \
    "$(host_nics "$id" | wc -l)" "$addr"
}

case_discovery() {
  local rows want id
  rows=$(console_discover "$hosts")
  screenshot discovery
  echo "$rows"
  for id in $(host_ids "$hosts"); do
    want=$(expected_row "$id")
    grep -qxF "$want" <<<"$rows" || e2e_fail "no row '$want'"
  done
  e2e_pass "discovery lists all $hosts hosts with name, OS, NIC count and address"
}

case_apply_fixed() {
  local id=h3 new=$NET_FRONT.43 name
  name=$(host_def "$id" | cut -d' ' -f1)
  console_discover "$hosts" >/dev/null
  gui select-host "$name" sleep 300 click 1013 set-ip 1014 "$new" click 1017 \
    "${VERIFY_AS_ADMIN[@]}" message 60 | tee "$LAB_DIR/run/apply.out"
  grep -qx 'message Setting Succeeded!' "$LAB_DIR/run/apply.out" || e2e_fail "apply was not confirmed"
  gui wait-main 5 message 5 dlg-click 1 wait-row "$name" "$new/NIC1" 60 || e2e_fail "row not refreshed"
  screenshot apply-fixed
  ip -n "$(ns_name "$id")" -4 -o addr show dev eth0 | grep -q "inet $new/25" ||
    e2e_fail "$new is not on $id's interface"
  e2e_pass "fixed address $new is on $id's eth0 and in the refreshed row"
}

case_rename() {
  local id=h1 name new=NVRENAMED out
  name=$(reg_value "$id" 'HKLM\SYSTEM\CurrentControlSet\Control\ComputerName\ComputerName' ComputerName)
  console_discover "$hosts" >/dev/null
  out=$(gui select-host "$name" sleep 300 enabled 1032 set-text 1003 "$new" click 1017 \
    "${VERIFY_AS_ADMIN[@]}" message 60)
  echo "$out"
  grep -qx 'enabled 1032 0' <<<"$out" || e2e_fail "Restart Computer enabled before the rename"
  grep -qx 'message Setting Succeeded!' <<<"$out" || e2e_fail "rename was not confirmed"
  out=$(gui wait-main 5 message 5 dlg-click 1 wait-row "$new" "$new" 60 select-host "$new" sleep 500 enabled 1032)
  echo "$out"
  screenshot rename
  grep -qx 'enabled 1032 1' <<<"$out" || e2e_fail "Restart Computer not enabled after the rename"
  [ "$(reg_value "$id" 'HKLM\SYSTEM\CurrentControlSet\Control\ComputerName\ComputerName' ComputerName)" = "$new" ] ||
    e2e_fail "configured name is not $new"
  e2e_pass "rename pending (configured $new, active name unchanged) enables Restart Computer"
}

case_password() {
  local id=h2 name log out
  name=$(host_def "$id" | cut -d' ' -f1)
  log=$(host_c "$id")/nvlab/passwords.log
  rm -f "$log"
  console_discover "$hosts" >/dev/null
  out=$(gui select-host "$name" sleep 300 click 1016 "${TRUST_KEY[@]}" dialog "Change Password" 15 \
    dlg-text 1018 Administrator dlg-text 1020 lab dlg-text 1025 N3wSecret dlg-text 1024 N3wSecret \
    dlg-click 1 message 60 dlg-click 1)
  echo "$out"
  grep -qx 'message Setting Succeeded!' <<<"$out" || e2e_fail "password change was not confirmed"
  tr -d '\r' <"$log" | grep -qxF "$(printf 'changed\tAdministrator\tN3wSecret')" ||
    e2e_fail "account double saw: $(cat "$log" 2>/dev/null)"
  e2e_pass "the new password reached $id's account double"
}

case_nic_changed() {
  local out dummy=$LAB-new0
  console_discover "$hosts" >/dev/null
  # A new network device: a veth pair whose two ends both stay in the console host.
  ip -n "$(ns_name con)" link add "$dummy" type veth peer name "$LAB-new1"
  ip -n "$(ns_name con)" link set "$dummy" up
  # Any device (a USB stick) makes Windows broadcast DBT_DEVNODES_CHANGED: the console stays.
  out=$(gui wait-main 5 devnodes-changed message 3 2>/dev/null || true)
  ! grep -q '^message' <<<"$out" || e2e_fail "the console answered a device that is no adapter: $out"
  # A network adapter's interface arrives: the console closes.
  out=$(gui wait-main 5 net-arrival message 30 || true)
  screenshot nic-changed
  ip -n "$(ns_name con)" link del "$dummy" 2>/dev/null || true
  echo "$out"
  grep -qx 'message NIC changed, the client would be closed' <<<"$out" || e2e_fail "no NIC changed message"
  gui wait-main 5 message 5 dlg-click 1 gone 15 || e2e_fail "console still open after the message"
  e2e_pass "another device leaves the console open; a new adapter closes it with its message"
}

case_agent_stopped() {
  local id=h2 name out
  name=$(host_def "$id" | cut -d' ' -f1)
  console_stop
  console_config 3 3 1
  console_start
  console_discover "$hosts" >/dev/null
  in_host "$id" wine sc stop TaviAgent >/dev/null 2>&1 || true
  out=$(gui select-host "$name" sleep 300 click 1016 "${TRUST_KEY[@]}" dialog "Change Password" 15 \
    dlg-text 1018 Administrator dlg-text 1020 lab dlg-text 1025 x1 dlg-text 1024 x1 \
    dlg-click 1 message 60 dlg-click 1)
  screenshot agent-stopped
  in_host "$id" wine sc start TaviAgent >/dev/null 2>&1 || true
  rm -f "$(host_c con)/Netvane/Netvane.cfg"
  echo "$out"
  grep -qx 'message Receive response timed out' <<<"$out" || e2e_fail "no time-out message"
  e2e_pass "a request to a stopped agent ends with 'Receive response timed out'"
}

console_start
"case_${case//-/_}"
