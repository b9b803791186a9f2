#!/usr/bin/env bash
# shellcheck disable=SC1003  # Windows paths end with a backslash inside single quotes
# One lab host gets its agent from the agent package under Wine's msiexec: lab host h3 gives
# up its TaviTool installation, installs NetvaneAgent-1.8.0, answers a discovery from the
# console host, is upgraded in place to a rebuilt package of a higher version (answering
# again), and uninstalls it; then TaviTool installs it again as the lab had it. The other
# hosts keep TaviTool throughout.
# Usage: package_e2e.sh BUILD_DIR   (the test lab must be up: lab_fixture.sh)
set -euo pipefail
source "$(dirname "$0")/lab_env.sh"
build=$1 id=h3
name=$(host_def "$id" | cut -d' ' -f1)
work=$(mktemp -d "$LAB_DIR/run/package-e2e.XXXX")
agent_dir="$(host_c "$id")/Program Files/Netvane Agent"

restore() {
  # Back to the lab's own installation, whatever happened above.
  in_host "$id" wine msiexec /x 'C:\NetvaneAgent-1.8.1.msi' /qn >/dev/null 2>&1 || true
  in_host "$id" wine msiexec /x 'C:\NetvaneAgent-1.8.0.msi' /qn >/dev/null 2>&1 || true
  wait_state absent 100 || true
  agent_install "$id"
  wait_state RUNNING 100 || true
  rm -rf "$work" "$(host_c "$id")"/NetvaneAgent-*.msi
}
trap restore EXIT

wait_state() {  # STATE TENTHS
  local _
  for _ in $(seq "$2"); do
    [ "$(agent_state "$id")" = "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# Discovers from the console host until this host answers (the transport opens its
# adapters a few seconds after the service starts).
answers() {
  local answered deadline=$((SECONDS + 90))
  while ((SECONDS < deadline)); do
    answered=$(in_host con wine 'C:\Netvane\discover.exe' 2 2>/dev/null | tr -d '\r') || true
    grep -qix "$name" <<<"$answered" && return 0
  done
  return 1
}

msiexec() {  # /i|/x PACKAGE
  in_host "$id" timeout 120 wine msiexec "$1" "C:\\$2" /qn >>"$LAB_DIR/log/$id-install.log" 2>&1
}

uninstall_entry_version() {
  local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' code
  for code in $(in_host "$id" wine reg query "$key" 2>/dev/null | tr -d '\r' | grep -o '{[^}]*}$'); do
    [ "$(reg_value "$id" "$key\\$code" DisplayName)" = "Netvane Agent" ] &&
      reg_value "$id" "$key\\$code" DisplayVersion
  done
  true
}

for version in 1.8.0 1.8.1; do
  MAKE_PACKAGES_ONLY=agent bash "$REPO/packaging/make-packages" "$build/bin" "$work" "$version" \
    >/dev/null || e2e_fail "building the $version package"
  cp "$work/NetvaneAgent-$version-x64.msi" "$(host_c "$id")/NetvaneAgent-$version.msi"
done

in_host "$id" wine 'C:\Netvane\TaviTool.exe' -delete >/dev/null 2>&1 ||
  e2e_fail "TaviTool -delete on $id"
wait_state absent 150 || e2e_fail "the TaviTool installation on $id did not go"

msiexec /i NetvaneAgent-1.8.0.msi || e2e_fail "msiexec /i 1.8.0 on $id"
wait_state RUNNING 200 || e2e_fail "the package's agent on $id is not running"
binary=$(reg_value "$id" 'HKLM\SYSTEM\CurrentControlSet\Services\TaviAgent' ImagePath)
[ "$binary" = '"C:\Program Files\Netvane Agent\TaviAgent.exe"' ] ||
  e2e_fail "binary path on $id: $binary"
answers || e2e_fail "$name did not answer a discovery with the package's agent"
e2e_pass "$name answers with the agent from NetvaneAgent-1.8.0 ($binary)"

msiexec /i NetvaneAgent-1.8.1.msi || e2e_fail "msiexec /i 1.8.1 (upgrade) on $id"
[ "$(uninstall_entry_version)" = 1.8.1 ] ||
  e2e_fail "after the upgrade Apps lists <$(uninstall_entry_version | tr '\n' ' ')>"
wait_state RUNNING 200 || e2e_fail "the upgraded agent on $id is not running"
answers || e2e_fail "$name did not answer a discovery after the upgrade"
e2e_pass "$name upgraded in place to 1.8.1 and answers"

msiexec /x NetvaneAgent-1.8.1.msi || e2e_fail "msiexec /x on $id"
wait_state absent 150 || e2e_fail "the service on $id is still there after the uninstall"
[ ! -e "$agent_dir" ] || e2e_fail "uninstall left $(ls -A "$agent_dir" | tr '\n' ' ')"
[ -z "$(uninstall_entry_version)" ] || e2e_fail "uninstall left the Apps entry"
e2e_pass "uninstalled from $name: no service, no files, no Apps entry"
