#!/usr/bin/env bash
# shellcheck disable=SC1003  # Windows paths end with a backslash inside single quotes
# The Windows Installer packages under Wine's msiexec, one fresh prefix per case:
#   agent    install (registration as TaviTool makes it, event source), a major upgrade to a
#            package of a higher version (identity kept, one product left), uninstall (nothing
#            of ours left but the identity, which a reinstall takes up; TaviTool -delete
#            removes it)
#   console  install (files, Start-menu shortcut), uninstall (nothing left)
# Usage: msi_wine_test.sh CASE
# Environment: BIN_DIR (the build's programs and the test helpers), WORK_DIR, SOURCE_DIR,
#              WINE_PREFIX_TOOL and WINE_TEMPLATE.
set -euo pipefail

case_name=$1
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$WORK_DIR/msi-$case_name.$$
prefix=$work/prefix
# shellcheck source=case_lib.sh
source "$(dirname "$0")/case_lib.sh"

cleanup() {
  timeout 30 "$WINE_PREFIX_TOOL" stop "$prefix" || true
  rm -rf "$work" "$prefix.lock"
}

make_prefix() {
  "$WINE_PREFIX_TOOL" template "$WINE_TEMPLATE"
  rm -rf "$work"
  mkdir -p "$work"
  "$WINE_PREFIX_TOOL" clone "$WINE_TEMPLATE" "$prefix"
  export WINEPREFIX=$prefix
  trap cleanup EXIT
  "$WINE_PREFIX_TOOL" start "$prefix"
}

# package NAME VERSION: builds it from the build's programs and puts it at C:\NAME-VERSION.msi.
package() {
  MAKE_PACKAGES_ONLY=$1 bash "$SOURCE_DIR/packaging/make-packages" "$BIN_DIR" "$work/packages" "$2" \
    >/dev/null
  local name=NetvaneAgent
  [ "$1" == console ] && name=NetvaneConsole
  cp "$work/packages/$name-$2-x64.msi" "$prefix/drive_c/$1-$2.msi"
}

msiexec() {  # msiexec /i|/x PACKAGE: silent, as Group Policy or Intune runs it; returns its status
  timeout 120 wine msiexec "$1" "C:\\$2" /qn
}

probe() { timeout 60 wine "$BIN_DIR/installer_service_probe.exe" "$@" | tr -d '\r'; }
probe_field() { probe query "$1" | sed -n "s/^$2=//p"; }
reg_value() {  # KEY NAME: "TYPE DATA", or nothing
  timeout 60 wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { $1 = ""; sub(/^ +/, ""); print }'
}
reg_exists() { timeout 60 wine reg query "$1" >/dev/null 2>&1; }
# Product codes of installed products with this name.
products() {
  local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' code
  for code in $(timeout 60 wine reg query "$key" 2>/dev/null | tr -d '\r' | grep -o '{[^}]*}$'); do
    [ "$(reg_value "$key\\$code" DisplayName)" == "REG_SZ $1" ] && echo "$code"
  done
  true
}

services='HKLM\SYSTEM\CurrentControlSet\Services'
identity_key='HKLM\SOFTWARE\Orvane\Netvane Agent\Identity'
agent_dir="$prefix/drive_c/Program Files/Netvane Agent"
description="Answers the Netvane console on this computer's Ethernet segment and applies the \
network settings, host name and passwords that an administrator of this computer sends."

wait_for_identity() {
  local _
  for _ in $(seq 100); do
    identity=$(reg_value "$identity_key" IdentityPublicKey)
    [ -n "$identity" ] && return 0
    sleep 0.2
  done
  fail "the agent made no identity key"
}

case_agent() {
  package agent 1.8.0
  package agent 1.8.1

  msiexec /i agent-1.8.0.msi || fail "install: msiexec $?"
  local file
  for file in TaviAgent.exe TaviServer.dll TaviTool.exe; do
    [ -f "$agent_dir/$file" ] || fail "install: $file missing"
  done
  probe wait TaviAgent 4 20000 || fail "install: service not running"
  # Exactly TaviTool's registration; the quotes come from TaviTool -configure, run by the
  # package between InstallServices and StartServices.
  expect_eq "registration" "$(printf '%s\n' state=4 type=16 start=2 error=1 \
    'binary="C:\Program Files\Netvane Agent\TaviAgent.exe"' 'group=Extended base' \
    'display=Orvane Network Utility Agent 1.5' dependtype=7 depends=NDIS)" "$(probe query TaviAgent)"
  expect_eq "description" "description=$description" "$(probe recovery TaviAgent)"
  local source="$services\\EventLog\\Application\\TaviAgent"
  expect_eq "event message file" 'REG_EXPAND_SZ C:\Program Files\Netvane Agent\TaviAgent.exe' \
    "$(reg_value "$source" EventMessageFile)"
  expect_eq "event types" "REG_DWORD 0x7" "$(reg_value "$source" TypesSupported)"
  local first
  first=$(products "Netvane Agent")
  [ -n "$first" ] || fail "install: no product registered"
  wait_for_identity
  local before=$identity

  # A major upgrade in place: one product left, a new product code, the service running with
  # the same identity (consoles that pinned this host keep trusting it).
  msiexec /i agent-1.8.1.msi || fail "upgrade: msiexec $?"
  local second
  second=$(products "Netvane Agent")
  [ "$(wc -w <<<"$second")" == 1 ] || fail "upgrade: products <$second>"
  [ "$second" != "$first" ] || fail "upgrade: the product code did not change"
  probe wait TaviAgent 4 20000 || fail "upgrade: service not running"
  expect_eq "upgrade: quoted path" '"C:\Program Files\Netvane Agent\TaviAgent.exe"' \
    "$(probe_field TaviAgent binary)"
  # The old version's removal must not delete the service the new one takes over: its
  # DeleteServices is skipped while UPGRADINGPRODUCTCODE is set, as Windows Installer sets it
  # for that removal. Wine 8's msiexec does not set it (and removes the old version before
  # running the new one's script), so there the service is made anew; the identity lives
  # outside the service's key and is kept either way.
  msiinfo export "$work/packages/NetvaneAgent-1.8.1-x64.msi" InstallExecuteSequence | tr -d '\r' |
    grep -qx $'DeleteServices\tVersionNT AND NOT UPGRADINGPRODUCTCODE\t2000' ||
    fail "upgrade: the old version's removal would delete the service"
  wait_for_identity
  expect_eq "upgrade: identity" "$before" "$identity"
  expect_eq "upgrade: event source" 'REG_EXPAND_SZ C:\Program Files\Netvane Agent\TaviAgent.exe' \
    "$(reg_value "$source" EventMessageFile)"

  msiexec /x agent-1.8.1.msi || fail "uninstall: msiexec $?"
  local _
  for _ in $(seq 100); do
    [ "$(probe query TaviAgent)" == missing ] && break
    sleep 0.1
  done
  expect_eq "uninstall: service" missing "$(probe query TaviAgent)"
  [ ! -e "$agent_dir" ] || fail "uninstall: left $(ls -A "$agent_dir" | tr '\n' ' ')"
  ! reg_exists "$source" || fail "uninstall: event source left"
  ! reg_exists "$services\\TaviAgent" || fail "uninstall: service key left"
  expect_eq "uninstall: products" "" "$(products "Netvane Agent")"
  # The identity outlives the package: a reinstalled host keeps the fingerprint consoles pinned.
  expect_eq "uninstall: identity kept" "$before" "$(reg_value "$identity_key" IdentityPublicKey)"
  msiexec /i agent-1.8.1.msi || fail "reinstall: msiexec $?"
  probe wait TaviAgent 4 20000 || fail "reinstall: service not running"
  wait_for_identity
  expect_eq "reinstall: identity" "$before" "$identity"
  msiexec /x agent-1.8.1.msi || fail "second uninstall: msiexec $?"
  # Only TaviTool -delete takes it away.
  timeout 60 wine "$BIN_DIR/TaviTool.exe" -delete >/dev/null 2>&1 || fail "TaviTool -delete: $?"
  ! reg_exists 'HKLM\SOFTWARE\Orvane\Netvane Agent' || fail "TaviTool -delete: identity left"
}

case_console() {
  package console 1.8.0
  msiexec /i console-1.8.0.msi || fail "install: msiexec $?"
  local dir="$prefix/drive_c/Program Files/Netvane" file
  for file in Netvane.exe nvctl.exe TaviClient.dll Netvane.chm; do
    [ -f "$dir/$file" ] || fail "install: $file missing"
  done
  # Per machine (ALLUSERS=1), so Windows puts the shortcut into the all-users Start menu;
  # Wine 8's msiexec puts it into the installing user's.
  msiinfo export "$work/packages/NetvaneConsole-1.8.0-x64.msi" Property | tr -d '\r' |
    grep -qx $'ALLUSERS\t1' || fail "the package is not per machine"
  local shortcut
  shortcut=$(find "$prefix/drive_c/ProgramData" "$prefix/drive_c/users" -path '*Start Menu/Programs/Netvane.lnk' | head -n 1)
  [ -n "$shortcut" ] || fail "install: no Start-menu shortcut"
  [ -n "$(products "Netvane Console")" ] || fail "install: no product registered"

  msiexec /x console-1.8.0.msi || fail "uninstall: msiexec $?"
  [ ! -e "$dir" ] || fail "uninstall: left $(ls -A "$dir" | tr '\n' ' ')"
  [ -z "$shortcut" ] || [ ! -e "$shortcut" ] || fail "uninstall: shortcut left"
  ! reg_exists 'HKLM\SOFTWARE\Orvane\Netvane Console' || fail "uninstall: key left"
  expect_eq "uninstall: products" "" "$(products "Netvane Console")"
}

run_case
