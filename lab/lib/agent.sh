# Installing the agent into a simulated host, with the lab's doubles as Wine overrides in the
# host prefix's system folder. Sourced.

AGENT_DIR='C:\Netvane\'
# The lab stack's Windows half, the GUI driver and the doubles are programs of the build under
# test (lab/CMakeLists.txt); every DLL in $DOUBLES_DIR is installed by doubles_install.
LAB_TOOLS=$BUILD_DIR/lab
DOUBLES_DIR=$LAB_TOOLS/doubles

lab_tools_check() {
  local f
  for f in regwatch.exe nvgui.exe discover.exe doubles/{advapi32,dhcpcsvc,iphlpapi,netapi32}.dll; do
    [ -f "$LAB_TOOLS/$f" ] || die "no $LAB_TOOLS/$f: build $BUILD_DIR first (cmake --build)"
  done
}

# The accounts the doubles know (lab_accounts.h): an administrator, the management
# product's account, an operator without administrator rights, a disabled administrator and
# one whose password is blank.
agent_accounts() {
  printf '%s\n' 'Administrator:Administrators,Users:lab' 'RIDO USER:Users:rido' \
    'operator:Users:lab' 'retired:Administrators,Users:lab:disabled' 'blank:Administrators,Users' \
    >"$(host_c "$1")/nvlab/accounts.txt"
}

agent_built() { [ -f "$BUILD_DIR/bin/TaviAgent.exe" ] && [ -f "$BUILD_DIR/bin/TaviServer.dll" ]; }

# The doubles' names without .dll, one a line.
doubles_names() {
  local f
  for f in "$DOUBLES_DIR"/*.dll; do [ -e "$f" ] && basename "$f" .dll; done
}

# doubles_install ID: each double replaces the prefix's system32 copy of Wine's DLL of that
# name, which stays beside it as NAME-wine.dll for a double that forwards to it (the
# agent loads system DLLs from System32 only, so that is the one place a double can be).
# The clone's files are hard links into the template: a link is replaced, never written.
doubles_install() {
  local name
  for name in $(doubles_names); do
    double_install "$(prefix_of "$1")/drive_c/windows/system32" "$name"
  done
}

# double_install SYSTEM32 NAME: one double into a prefix's system folder (also used by the
# transport's Wine tests, which have prefixes of their own).
double_install() {
  local sys=$1 name=$2
  if [ ! -e "$sys/$name-wine.dll" ] && [ -e "$sys/$name.dll" ]; then
    mv "$sys/$name.dll" "$sys/$name-wine.dll"
  fi
  cp --remove-destination "$DOUBLES_DIR/$name.dll" "$sys/$name.dll"
}

agent_install() {
  local id=$1 dir
  dir="$(host_c "$id")/Netvane"
  mkdir -p "$dir"
  cp "$BUILD_DIR"/bin/TaviAgent.exe "$BUILD_DIR"/bin/TaviServer.dll "$dir/"
  doubles_install "$id"
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
