#!/usr/bin/env bash
# nvctl.exe under Wine against the fake transport (scripted hosts, every call logged): what
# bad input must not send, and the exit statuses. Usage: nvctl_fake_test.sh BUILD_DIR
set -euo pipefail
build=$1
repo=$(cd "$(dirname "$0")/../../.." && pwd)
prefix=$build/wineprefix-nvctl
dir=$(mktemp -d "${TMPDIR:-/tmp}/nvctl-fake.XXXX")
trap 'rm -rf "$dir"' EXIT
cp "$build/bin/nvctl.exe" "$build/console-fake/TaviClient.dll" "$dir/"
win() { echo "Z:${1//\//\\}"; }
export NETVANE_FAKE_HOSTS NETVANE_FAKE_LOG WINEDEBUG=-all
NETVANE_FAKE_HOSTS=$(win "$dir/hosts.txt") NETVANE_FAKE_LOG=$(win "$dir/fake.log")
cat >"$dir/hosts.txt" <<'HOSTS'
host name=ALPHA setup=4 os=1,1,2,1,5,2,3790,2,2 mgmt=1,2623,http://%A:%P/ answer=0
nic mac=02:00:00:00:01:01 dhcp=1 ip=198.51.100.11 mask=255.255.255.0 gw=198.51.100.1
host name=BETA setup=1 os=1,1,2,0,5,1,2600,3,0 mgmt=2,80,\\%A\share\x.exe answer=0
nic mac=02:00:00:00:02:01 dhcp=0 ip=198.51.100.12 mask=255.255.255.0 gw=198.51.100.1
host name=DELTA setup=4 os=1,1,2,1,5,2,3790,2,2 answer=0
nic mac=02:00:00:00:04:01 dhcp=0 ip=198.51.100.14 mask=255.255.255.0 gw=198.51.100.1
key state=unreadable problem="line 2 of known_agents is not a pinned key"
HOSTS

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# run EXPECTED_STATUS ARGS...: nvctl's output in $dir/out.
run() {
  local want=$1 status=0
  shift
  rm -f "$dir/fake.log"
  "$repo/scripts/wine-prefix" run "$prefix" "$dir/nvctl.exe" "$@" >"$dir/out" 2>&1 || status=$?
  tr -d '\r' <"$dir/out" >"$dir/out.txt"
  [ "$status" = "$want" ] || fail "nvctl $* exited $status, expected $want: $(cat "$dir/out.txt")"
}
requests() { # CODE: how many requests of that code reached the transport
  [ -f "$dir/fake.log" ] || { echo 0; return; }
  tr -d '\r' <"$dir/fake.log" | grep -c "code=$1\b" || true
}

run 0 discover --format csv
grep -q '^ALPHA,Unknown,' "$dir/out.txt" || fail "discover csv lacks ALPHA"
grep -q '^BETA,' "$dir/out.txt" || fail "discover csv lacks BETA"

run 2 set ALPHA --dhcp --password secret
grep -q -- '--password: passwords are never taken' "$dir/out.txt" || fail "no refusal of --password"
[ ! -f "$dir/fake.log" ] || fail "a refused command line reached the transport"

printf 'host,nic,mode,address,mask,gateway,dns,name\nALPHA,1,static,10.0.0.5/24,,,,\nBETA,1,static,10.0.0.6,,,,\n' \
  >"$dir/bad.csv"
NETVANE_PASSWORD=pw run 2 apply "$(win "$dir/bad.csv")"
grep -q 'line 3: column mask' "$dir/out.txt" || fail "the malformed row is not named: $(cat "$dir/out.txt")"
[ ! -f "$dir/fake.log" ] || fail "a malformed file reached the transport"

printf 'host,nic,mode,address,mask,gateway,dns,name\nALPHA,1,static,10.0.0.5/24,,,,\nGAMMA,1,dhcp,,,,,\n' \
  >"$dir/unknown.csv"
NETVANE_PASSWORD=pw run 2 apply "$(win "$dir/unknown.csv")"
grep -q "line 3: host no host 'GAMMA' answered" "$dir/out.txt" || fail "the unknown host is not named"
[ "$(requests 2)" = 0 ] || fail "a file with an unknown host sent settings"

NETVANE_PASSWORD=pw run 0 set ALPHA --static 10.0.0.5/24 --dry-run
grep -q 'NIC1 02:00:00:00:01:01: mode, address, mask, gateway' "$dir/out.txt" || fail "dry run lacks the change"
[ "$(requests 2)" = 0 ] || fail "a dry run sent settings"

# No password anywhere and no console to ask on: nothing is sent.
run 2 restart ALPHA </dev/null
[ "$(requests 7)" = 0 ] || fail "restart without a password was sent"

run 0 launch ALPHA
grep -qx 'http://198.51.100.11:2623/' "$dir/out.txt" || fail "launch address of ALPHA"
run 1 launch BETA --open
grep -q 'Launch refused' "$dir/out.txt" || fail "BETA's share path was not refused"

# A trust store the transport cannot read: refused, and the bad line named.
NETVANE_PASSWORD=pw run 1 set DELTA --dhcp
grep -q 'refused: Trust store can not be read.*: line 2 of known_agents is not a pinned key' "$dir/out.txt" ||
  fail "the unreadable trust store is not named: $(cat "$dir/out.txt")"

run 2 discover --adapter 5
grep -q -- '--adapter: no adapter 5' "$dir/out.txt" || fail "a missing adapter is not named"

run 2 show NOBODY
grep -q 'ALPHA (agent' "$dir/out.txt" || fail "unknown HOST does not list the candidates"

# A timed-out request leaves only its status in the reply buffer, which is no host record:
# nothing is printed for the host, later rows of it are checked against and addressed to what
# it last reported. Replies the transport could not check are counted as the GUI counts them.
cp "$dir/hosts.txt" "$dir/all-answer.txt"
printf 'status 2 3\nunchecked 3\n' >>"$dir/hosts.txt"
NETVANE_PASSWORD=pw run 3 set ALPHA --static 10.0.0.5/24
grep -q '^nvctl: 3 replies could not be checked: the segment is flooded' "$dir/out.txt" || fail "no count of unchecked replies"
grep -q 'ALPHA: failed: Receive response timed out' "$dir/out.txt" || fail "set: no time-out reported"
! grep -q '^Host:' "$dir/out.txt" || fail "set printed a host after a time-out: $(cat "$dir/out.txt")"
printf 'host,nic,mode,address,mask,gateway,dns,name\nALPHA,1,static,10.0.0.5/24,,,,\nALPHA,1,dhcp,,,,,\n' \
  >"$dir/twice.csv"
NETVANE_PASSWORD=pw run 3 apply "$(win "$dir/twice.csv")"
sent=$(tr -d '\r' <"$dir/fake.log" | grep 'TVDoWork code=2 ' || true)
[ "$(grep -c . <<<"$sent")" = 2 ] || fail "the row after a time-out was not sent: $(cat "$dir/out.txt")"
second=$(sed -n 2p <<<"$sent" | sed 's/.*bytes=//')
[ "${second:8:12}" = 020000000101 ] || fail "the row after a time-out went to agent ${second:8:12}"
cp "$dir/all-answer.txt" "$dir/hosts.txt"

# Netvane.cfg is found where the dialog console finds it: a folder in the file's place beside
# the program (a write and read failure Wine produces even for root) leaves the user's copy.
roaming=$(ls -d "$prefix"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -n 1)
mkdir -p "$roaming/Netvane" "$dir/Netvane.cfg"
trap 'rm -rf "$dir" "$roaming/Netvane"' EXIT
{ printf '\007\000\000\000\036\000\000\000\003\000\000\000'; head -c 24 /dev/zero; } \
  >"$roaming/Netvane/Netvane.cfg"
run 0 discover
grep -q 'TVSetDiscoverTimeout 7' "$dir/fake.log" || fail "nvctl did not read the user's Netvane.cfg"
rmdir "$dir/Netvane.cfg"

echo "$failures failure(s)"
[ "$failures" = 0 ]
