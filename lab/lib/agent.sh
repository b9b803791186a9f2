# Installing the agent into a simulated host, with the lab's doubles beside it. Sourced.

AGENT_DIR='C:\Netvane\'

# Builds the doubles, the lab stack's Windows half and the GUI driver into $LAB_DIR/bin.
lab_tools_build() {
  local cc=x86_64-w64-mingw32-gcc-posix out=$LAB_DIR/bin d
  mkdir -p "$out"
  "$cc" -O2 -shared -static -o "$out/dhcpcsvc.dll" "$LAB_SRC"/doubles/dhcpcsvc.{c,def} -liphlpapi
  "$cc" -O2 -shared -static -o "$out/netapi32.dll" "$LAB_SRC"/doubles/netapi32.{c,def}
  "$cc" -O2 -shared -static -o "$out/iphlpapi.dll" "$LAB_SRC"/doubles/iphlpapi.{c,def} -lws2_32
  "$cc" -O2 -static -o "$out/regwatch.exe" "$LAB_SRC/stack/regwatch.c" -liphlpapi
  "$cc" -O2 -static -o "$out/nvgui.exe" "$LAB_SRC/gui/nvgui.c" -lcomctl32
  "$cc" -O2 -static -o "$out/discover.exe" "$LAB_SRC/stack/discover.c"
}

# The accounts the netapi32 double knows: an administrator, the management product's
# account and an operator without administrator rights.
agent_accounts() {
  printf '%s\n' 'Administrator:Administrators,Users' 'RIDO USER:Users' 'operator:Users' \
    >"$(host_c "$1")/nvlab/accounts.txt"
}

agent_built() { [ -f "$BUILD_DIR/bin/TaviAgent.exe" ] && [ -f "$BUILD_DIR/bin/TaviServer.dll" ]; }

agent_install() {
  local id=$1 dir
  dir="$(host_c "$id")/Netvane"
  mkdir -p "$dir"
  cp "$BUILD_DIR"/bin/TaviAgent.exe "$BUILD_DIR"/bin/TaviServer.dll "$dir/"
  cp "$LAB_DIR"/bin/dhcpcsvc.dll "$LAB_DIR"/bin/netapi32.dll "$LAB_DIR"/bin/iphlpapi.dll "$dir/"
  : >"$dir/npfAMD64.sys" # the capture driver's place; Wine's wpcap needs no driver
  agent_accounts "$id"
  if [ -f "$BUILD_DIR/bin/TaviTool.exe" ]; then
    cp "$BUILD_DIR/bin/TaviTool.exe" "$dir/"
    in_host "$id" wine "${AGENT_DIR}TaviTool.exe" -install "$AGENT_DIR" >>"$LAB_DIR/log/$id-install.log" 2>&1
  else
    log "$id: no TaviTool.exe built; registering the service with sc"
    in_host "$id" wine sc create TaviAgent binPath= "${AGENT_DIR}TaviAgent.exe" start= auto \
      >>"$LAB_DIR/log/$id-install.log" 2>&1
    in_host "$id" wine sc start TaviAgent >>"$LAB_DIR/log/$id-install.log" 2>&1 || true
  fi
}

# Service state as sc reports it (RUNNING, STOPPED, ...), or "absent".
agent_state() {
  local out
  out=$(in_host "$1" wine sc query TaviAgent 2>/dev/null | tr -d '\r') || true
  echo "$out" | awk '/STATE/ { print $4; found = 1 } END { if (!found) print "absent" }'
}
