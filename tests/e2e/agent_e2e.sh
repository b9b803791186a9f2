#!/usr/bin/env bash
# The agent end to end: the GoogleTest client (agent_e2e_test.exe, on TaviClient) runs in
# the console's namespace against the agent of lab host h1, comparing replies byte for
# byte with what expect_host.sh read from h1's registry and interfaces; then this script
# checks what the agent must and must not have changed on h1.
# Usage: agent_e2e.sh BUILD_DIR   (the test lab must be up: lab_fixture.sh)
set -euo pipefail
source "$(dirname "$0")/lab_env.sh"
build=$1 id=h1
work=$(mktemp -d "$LAB_DIR/run/agent-e2e.XXXX")
trap 'rm -rf "$work"' EXIT

[ "$(agent_state "$id")" = RUNNING ] || e2e_fail "agent on $id is not running"
"$(dirname "$0")/expect_host.sh" "$id" >"$work/expect"
cat "$work/expect"
names='HKLM\SYSTEM\CurrentControlSet\Control\ComputerName\ComputerName'
name_before=$(reg_value "$id" "$names" ComputerName)
addresses_before=$(ip -n "$(ns_name "$id")" -4 -o addr show scope global | awk '{ print $2, $4 }')

dir=$(host_c con)/e2e
mkdir -p "$dir"
cp "$build/bin/agent_e2e_test.exe" "$build/bin/TaviClient.dll" "$dir/"
in_host con env NVLAB_EXPECT="$(win_path "$work/expect")" NVLAB_RESULT="$(win_path "$work/result")" \
  wine 'C:\e2e\agent_e2e_test.exe' --gtest_brief=0 || e2e_fail "client checks failed"

magic=$(tr -d '\r' <"$work/result" | awk '$1 == "magic" { print $2 }')
stored=$(reg_value "$id" 'HKLM\SYSTEM\CurrentControlSet\Services\TaviAgent\Parameter' MagicNumber)
[ -n "$stored" ] && (( stored == magic )) ||
  e2e_fail "MagicNumber in the registry is '$stored', the last Discover reply said $magic"
e2e_pass "MagicNumber holds the Discover reply's value after the Refresh ($magic)"

name=$(reg_value "$id" "$names" ComputerName)
[ "$name" = "$name_before" ] || e2e_fail "refused request renamed the host to $name"
[ ! -e "$(host_c "$id")/nvlab/dhcp-notify.log" ] || e2e_fail "refused request notified the DHCP client"
addresses_after=$(ip -n "$(ns_name "$id")" -4 -o addr show scope global | awk '{ print $2, $4 }')
[ "$addresses_before" = "$addresses_after" ] || e2e_fail "refused request changed the addresses"
e2e_pass "refused ApplySettings left name, DHCP client and addresses alone"
