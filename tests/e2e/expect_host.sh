#!/usr/bin/env bash
# Prints what the agent of lab host ID must report, from that host's registry and its
# namespace's interfaces, in the format tests/e2e/expectation.cpp reads.
# Usage: expect_host.sh ID
set -euo pipefail
source "$(dirname "$0")/lab_env.sh"
id=$1
ns=$(ns_name "$id")
names='HKLM\SYSTEM\CurrentControlSet\Control\ComputerName'

name=$(reg_value "$id" "$names\\ComputerName" ComputerName)
active=$(reg_value "$id" "$names\\ActiveComputerName" ComputerName)
echo "host $name"
[ "${name,,}" = "${active,,}" ] && echo "pending 0" || echo "pending 1"

mgmt='HKLM\SOFTWARE\Orvane\Management'
type=$(reg_value "$id" "$mgmt" MgmtAgentType)
if [ -n "$type" ]; then
  echo "mgmt $((type)) $(($(reg_value "$id" "$mgmt" MgmtPort))) $(reg_value "$id" "$mgmt" MgmtLaunchString)"
fi

# Operating system as Wine reports it for the host's Version setting:
# valid family platform edition major minor build servicePack variant.
case $(host_def "$id" | cut -d' ' -f2) in
  win2003) echo "os 1 1 2 1 5 2 3790 2 2" ;;
  winxp) echo "os 1 1 2 0 5 1 2600 3 0" ;;
  win2k) echo "os 1 1 2 0 5 0 2195 4 0" ;;
  win2008) echo "os 1 1 2 1 6 0 6002 2 0" ;;
  win10) echo "os 1 1 2 0 10 0 18362 0 0" ;;
  win2022) echo "os 1 1 2 1 10 0 20348 0 0" ;;
esac

# Adapters in slot order (ascending interface index, which the GUID carries in hex).
in_host "$id" wine 'C:\nvlab\regwatch.exe' --adapters | tr -d '\r' |
  while read -r guid ifname dhcp; do
    index=$((16#${guid:1:8}))
    echo "$index $guid $ifname $dhcp"
  done | sort -n >"$LAB_DIR/run/$id.slots"

dns_static=1 addressed=0 count=0
interfaces='HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces'
while read -r index guid ifname wine_dhcp; do
  count=$((count + 1))
  # The agent's IP helper double reports the adapter's EnableDHCP setting.
  dhcp=$(($(reg_value "$id" "$interfaces\\$guid" EnableDHCP)))
  mac=$(ip netns exec "$ns" cat "/sys/class/net/$ifname/address")
  cidr=$(ip -n "$ns" -4 -o addr show dev "$ifname" scope global | awk '{ print $4; exit }')
  ip=${cidr%/*} mask=0.0.0.0
  if [ -n "$cidr" ]; then
    m=$((0xFFFFFFFF << (32 - ${cidr#*/}) & 0xFFFFFFFF))
    mask=$((m >> 24 & 255)).$((m >> 16 & 255)).$((m >> 8 & 255)).$((m & 255))
    addressed=$((addressed + 1))
  else
    ip=0.0.0.0
  fi
  gw=$(ip -n "$ns" -4 route show default dev "$ifname" | awk '{ print $3; exit }')
  echo "nic $mac $dhcp $ip $mask ${gw:--}"
  if [ "$dhcp" = 1 ] && [ -z "$(reg_value "$id" "$interfaces\\$guid" NameServer)" ]; then
    dns_static=0
  fi
done <"$LAB_DIR/run/$id.slots"

dns=$(awk '$1 == "nameserver" { print $2; exit }' "/etc/netns/$ns/resolv.conf")
echo "dns ${dns:-0.0.0.0} $dns_static"
# The agent's default-password probe (Administrator / 7395) as the host's logon double
# decides it, from the host's accounts: the lab's administrator has another password.
if grep -qiE '^Administrator:([^:]*,)?Administrators(,[^:]*)?:7395$' "$(host_c "$id")/nvlab/accounts.txt"; then
  ((addressed > 0)) && echo "setup 1" || echo "setup 0"
else
  ((addressed < count)) && echo "setup 2" || echo "setup 4"
fi
