# Installing the agent into a simulated host, with the lab's doubles as Wine overrides in the
# host prefix's system folder. Sourced.

AGENT_DIR='C:\Netvane\'
DOUBLES_DIR=$LAB_DIR/bin/doubles

# The lab stack's Windows half and the GUI driver are programs of the build under test.
LAB_TOOLS=$BUILD_DIR/lab

# Builds the doubles into $DOUBLES_DIR (every DLL there is installed by doubles_install);
# checks that the build holds the lab's tools.
lab_tools_build() {
  local cc=x86_64-w64-mingw32-gcc-posix out=$LAB_DIR/bin tool
  for tool in regwatch nvgui discover; do
    [ -f "$LAB_TOOLS/$tool.exe" ] || die "no $LAB_TOOLS/$tool.exe: build $BUILD_DIR first (cmake --build)"
  done
  mkdir -p "$out" "$DOUBLES_DIR"
  rm -f "$DOUBLES_DIR"/*.dll
  "$cc" -O2 -shared -static -o "$DOUBLES_DIR/dhcpcsvc.dll" "$LAB_SRC"/doubles/dhcpcsvc.{c,def} -liphlpapi
  "$cc" -O2 -shared -static -o "$DOUBLES_DIR/netapi32.dll" "$LAB_SRC"/doubles/netapi32.{c,def}
  "$cc" -O2 -shared -static -o "$DOUBLES_DIR/iphlpapi.dll" "$LAB_SRC"/doubles/iphlpapi.{c,def} -lws2_32
  lab_logon_double_build "$out"
}

# Wine's own advapi32, whose exports the logon double forwards to.
wine_advapi32() {
  local d
  for d in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows \
    /usr/local/lib/wine/x86_64-windows /opt/wine-stable/lib/wine/x86_64-windows; do
    [ -f "$d/advapi32.dll" ] && { echo "$d/advapi32.dll"; return 0; }
  done
  echo "Wine's advapi32.dll not found" >&2
  return 1
}

# The logon double: advapi32.dll with LogonUserW of its own and every other export forwarded
# to advapi32-wine.dll, the prefix's copy of Wine's that doubles_install keeps beside it. Its
# export list is Wine's, read here from the installed builtin (the same file).
lab_logon_double_build() {
  local out=$1 wine_dll
  wine_dll=$(wine_advapi32)
  "$LAB_SRC/doubles/advapi32-def" "$wine_dll" >"$out/advapi32.def"
  x86_64-w64-mingw32-gcc-posix -O2 -shared -static -o "$DOUBLES_DIR/advapi32.dll" \
    "$LAB_SRC/doubles/advapi32.c" "$out/advapi32.def"
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
  local sys name
  sys="$(prefix_of "$1")/drive_c/windows/system32"
  for name in $(doubles_names); do
    if [ ! -e "$sys/$name-wine.dll" ] && [ -e "$sys/$name.dll" ]; then
      mv "$sys/$name.dll" "$sys/$name-wine.dll"
    fi
    cp --remove-destination "$DOUBLES_DIR/$name.dll" "$sys/$name.dll"
  done
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
