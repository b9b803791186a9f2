#!/usr/bin/env bash
# Checks of the lab's own pieces that need no namespaces: the registry encodings the hosts
# are seeded with, mask arithmetic, the host table's addresses, and bad arguments.
# Usage: lab_checks.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
export NVLAB_NAME=nvlabchk NVLAB_DIR=$(mktemp -d)
trap 'rm -rf "$NVLAB_DIR"' EXIT
for f in common hosts net prefix; do source "$repo/lab/lib/$f.sh"; done
failures=0
check() { # DESCRIPTION GOT WANT
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: got '$2', want '$3'"; failures=$((failures + 1)); fi
}

# Wine's regedit reads hex(7) of an ASCII file byte by byte: one string is its bytes, a
# terminator and the closing zero; no string at all is two zeros.
check "multi-string of one address" "$(reg_multi 1.2)" "hex(7):31,2e,32,00,00"
check "empty multi-string" "$(reg_multi)" "hex(7):00,00"
check "multi-string of two" "$(reg_multi a b)" "hex(7):61,00,62,00,00"

check "mask /25" "$(mask_bits 255.255.255.128)" 25
check "mask /0" "$(mask_bits 0.0.0.0)" 0
check "mask /32" "$(mask_bits 255.255.255.255)" 32

# Every address of up to nine hosts lies in the lab's range and none is used twice; MACs
# are unique and locally administered.
addrs=() macs=()
for id in $(host_ids 9); do
  n=0
  while read -r ifname br mode addr mask gw dns; do
    [ "$addr" = - ] || addrs+=(${addr//,/ })
    macs+=("$(host_mac "${id#h}" "$n")")
    n=$((n + 1))
  done <<<"$(host_nics "$id")"
done
outside=$(printf '%s\n' "${addrs[@]}" | grep -cv '^198\.51\.100\.' || true)
check "host addresses outside 198.51.100.0/24" "$outside" 0
check "duplicate host addresses" "$(printf '%s\n' "${addrs[@]}" "$ROUTER_IP" "$CONSOLE_IP" | sort | uniq -d | wc -l)" 0
check "duplicate MACs" "$(printf '%s\n' "${macs[@]}" | sort | uniq -d | wc -l)" 0
check "MACs locally administered" "$(printf '%s\n' "${macs[@]}" | grep -cv '^02:' || true)" 0
check "one host with two adapters" "$(host_nics h1 | wc -l)" 2
check "one DHCP host" "$(host_nics h2 | awk '{ print $3 }')" dhcp
# An Apply must keep further addresses and alternate DNS servers: the hosts carry some.
check "a second address on h1 eth0" "$(host_nics h1 | awk '$1 == "eth0" { print $4 }' | tr ',' '\n' | wc -l)" 2
check "an alternate DNS server on h3" "$(host_nics h3 | awk '{ print $7 }' | tr ',' '\n' | wc -l)" 2
check "both addresses seeded in IPAddress" \
  "$(reg_interface G static 1.2.3.4,1.2.3.5 255.0.0.0,255.0.0.0 - 9.9.9.9,8.8.8.8 | grep -c '"IPAddress"=hex(7):31,2e,32,2e,33,2e,34,00,31,2e,32,2e,33,2e,35,00,00')" 1
check "the DNS list seeded in NameServer" \
  "$(reg_interface G static 1.2.3.4 255.0.0.0 - 9.9.9.9,8.8.8.8 | grep -c '"NameServer"="9.9.9.9,8.8.8.8"')" 1

# Bad host counts are refused before anything is made.
if [ "$(id -u)" = 0 ]; then
  for bad in 0 10 abc -1; do
    out=$("$repo/scripts/lab" up "$bad" 2>&1) && rc=0 || rc=$?
    check "lab up $bad refused" "$rc:$(grep -c 'host count must be 1..9' <<<"$out")" 1:1
  done
  check "nothing made by refused ups" "$(ip netns list | grep -c "^$NVLAB_NAME-" || true)" 0
fi
out=$("$repo/scripts/lab" frobnicate 2>&1) && rc=0 || rc=$?
check "unknown command gives usage" "$rc" 2

((failures == 0))
