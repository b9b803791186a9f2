# Wine prefixes of the simulated hosts: one template, cheap clones, registry contents and
# a kept-alive wineserver started inside each host's namespaces. Sourced.

TEMPLATE=$LAB_DIR/template

prefix_template() {
  [ -f "$TEMPLATE/system.reg" ] && return 0
  log "creating the template prefix"
  WINEPREFIX=$TEMPLATE wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$TEMPLATE wineserver -w
}

# A hard-linked copy; the files Wine rewrites in place get real copies so that no clone
# can write through to the template.
prefix_clone() {
  local dst
  dst=$(prefix_of "$1")
  mkdir -p "$(dirname "$dst")"
  cp -al "$TEMPLATE" "$dst"
  local f
  for f in "$TEMPLATE"/*.reg "$TEMPLATE"/.update-timestamp; do
    cp --remove-destination "$f" "$dst/"
  done
  mkdir -p "$dst/drive_c/nvlab"
}

# Starts the host's wineserver in its namespaces and keeps it running with no client.
prefix_server_up() {
  in_host "$1" wineserver -p
  in_host "$1" wine cmd /c exit >/dev/null 2>&1
}

prefix_server_down() {
  local p
  p=$(prefix_of "$1")
  [ -d "$p" ] || return 0
  if ip netns list | awk '{ print $1 }' | grep -qx "$(ns_name "$1")"; then
    in_host "$1" wineserver -k >/dev/null 2>&1 || true
  else
    WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true
  fi
  prefix_forget "$p"
}

# Removes the socket folder a prefix's server left in the temporary directory; Wine names
# it after the prefix's device and inode.
prefix_forget() {
  local dir
  [ -d "$1" ] || return 0
  for dir in /tmp/wine-*/"server-$(stat -c '%D' "$1")-$(printf '%x' "$(stat -c '%i' "$1")")"; do
    [ -d "$dir" ] && rm -rf "$dir"
  done
  return 0
}

# REG_MULTI_SZ in .reg notation, from zero or more strings. Wine's regedit reads hex(7)
# of an ASCII .reg file as ANSI bytes (one byte per character), whatever the header says.
reg_multi() {
  local out="" s c i
  for s in "$@"; do
    for ((i = 0; i < ${#s}; i++)); do
      printf -v c '%02x,' "'${s:i:1}"
      out+=$c
    done
    out+="00,"
  done
  [ $# -gt 0 ] || out="00,"
  echo "hex(7):${out}00"
}

# The per-adapter TCP/IP key as Windows keeps it: static or DHCP.
reg_interface() { # GUID MODE ADDRS MASKS GW DNS   (lists joined by commas)
  local key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces'
  local addrs masks
  echo "[$key\\$1]"
  if [ "$2" = static ]; then
    IFS=, read -ra addrs <<<"$3"
    IFS=, read -ra masks <<<"$4"
    echo '"EnableDHCP"=dword:00000000'
    echo "\"IPAddress\"=$(reg_multi "${addrs[@]}")"
    echo "\"SubnetMask\"=$(reg_multi "${masks[@]}")"
    if [ "$5" = - ]; then
      echo "\"DefaultGateway\"=$(reg_multi)"
      echo "\"DefaultGatewayMetric\"=$(reg_multi)"
    else
      echo "\"DefaultGateway\"=$(reg_multi "$5")"
      echo "\"DefaultGatewayMetric\"=$(reg_multi 1)"
    fi
    echo "\"NameServer\"=\"${6:-$ROUTER_IP}\""
  else
    echo '"EnableDHCP"=dword:00000001'
    echo "\"IPAddress\"=$(reg_multi 0.0.0.0)"
    echo "\"SubnetMask\"=$(reg_multi 0.0.0.0)"
    echo "\"DefaultGateway\"=$(reg_multi)"
    echo "\"DefaultGatewayMetric\"=$(reg_multi)"
    echo '"NameServer"=""'
    echo '"DhcpIPAddress"="0.0.0.0"'
    echo '"DhcpSubnetMask"="0.0.0.0"'
    echo "\"DhcpDefaultGateway\"=$(reg_multi)"
    echo '"DhcpNameServer"=""'
    echo '"DhcpServer"="255.255.255.255"'
  fi
  echo '"Domain"=""'
  echo '"UseZeroBroadcast"=dword:00000000'
  echo
}

# Wine prefers its builtin DLLs to the native ones in system32 (where doubles_install puts
# the lab's doubles); the agent alone is told to take the doubles, every one that was built.
reg_doubles() {
  local name
  echo "[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\$1\\DllOverrides]"
  for name in $(doubles_names); do echo "\"$name\"=\"native,builtin\""; done
  echo
}

reg_management() {
  echo '[HKEY_LOCAL_MACHINE\SOFTWARE\Orvane\Management]'
  echo '"MgmtAgentType"=dword:00000002'
  echo '"MgmtPort"=dword:00001f90'
  echo '"MgmtLaunchString"="http://%A:%P/manage"'
  echo
}

# Without a "Version" setting Wine reports what the Windows NT keys of the registry say,
# product type included; that is how a host becomes a current server.
reg_version() {
  case $1 in
    win2022)
      echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]'
      echo '"CurrentVersion"="10.0"'
      echo '"CurrentBuildNumber"="20348"'
      echo '"CSDVersion"=""'
      echo
      echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Windows]'
      echo '"CSDVersion"=dword:00000000'
      echo
      echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\ProductOptions]'
      echo '"ProductType"="ServerNT"'
      ;;
    *)
      echo '[HKEY_CURRENT_USER\Software\Wine]'
      echo "\"Version\"=\"$1\""
      ;;
  esac
  echo
}

# A shared virtual desktop keeps windows framed for screenshots and FindWindow working.
# In the notation of the prefix's own user.reg, to be appended before the server starts.
reg_desktop_file() {
  printf '\n[Software\\\\Wine\\\\Explorer] 0\n"Desktop"="Default"\n'
  printf '\n[Software\\\\Wine\\\\Explorer\\\\Desktops] 0\n"Default"="800x600"\n'
}

prefix_import() { # ID FILE
  local win
  win="C:\\nvlab\\$(basename "$2")"
  cp "$2" "$(host_c "$1")/nvlab/"
  in_host "$1" wine regedit /S "$win" >/dev/null 2>&1
}
