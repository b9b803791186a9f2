# Bringing one simulated host up and the console host. Sourced.

# host_up ID: namespace, adapters, prefix, registry, lab stack and agent.
host_up() {
  local id=$1 name version ifname br mode addr mask gw n=0 reg
  read -r name version <<<"$(host_def "$id")"
  net_ns_up "$id" "$name"
  while read -r ifname br mode addr mask gw; do
    net_link "$id" "$ifname" "$br" "$(host_mac "${id#h}" "$n")"
    n=$((n + 1))
  done <<<"$(host_nics "$id")"
  prefix_clone "$id"
  cp "$LAB_TOOLS/regwatch.exe" "$(host_c "$id")/nvlab/"
  prefix_server_up "$id"
  # Adapter GUIDs come from Wine itself (they follow the Linux interface index).
  in_host "$id" wine 'C:\nvlab\regwatch.exe' --adapters | tr -d '\r' >"$LAB_DIR/run/$id.adapters"
  reg=$LAB_DIR/run/$id.reg
  {
    echo 'Windows Registry Editor Version 5.00'
    echo
    reg_version "$version"
    reg_doubles TaviAgent.exe
    while read -r ifname br mode addr mask gw dns; do
      reg_interface "$(awk -v i="$ifname" '$2 == i { print $1 }' "$LAB_DIR/run/$id.adapters")" \
        "$mode" "$addr" "$mask" "$gw" "${dns:-$ROUTER_IP}"
    done <<<"$(host_nics "$id")"
    if host_has_mgmt "$id"; then reg_management; fi
  } >"$reg"
  prefix_import "$id" "$reg"
  stack_up "$id"
  if agent_built; then agent_install "$id"; fi
}

# Lines of a stack's log that the stack itself printed (not the notes on its end and restarts).
stack_lines() { grep -cv -e ' the stack ended$' -e ' the stack printed nothing ' "$1" || true; }

# The stack reports each adapter's first state within a second or two. Now and then (about one
# lab start in four on a loaded machine) Wine's regwatch.exe starts and prints nothing, and the
# host would never get its addresses: such a stack is ended and started again, at most twice.
stack_up() {
  local id=$1 log=$LAB_DIR/log/$1-stack.log before try i left
  touch "$log"
  for try in 1 2 3; do
    before=$(stack_lines "$log")
    in_host "$id" setsid bash -c \
      "wine 'C:\\nvlab\\regwatch.exe' | '$LAB_SRC/stack/apply' '$id'; echo \"\$(date +%T) the stack ended\"" \
      >>"$log" 2>&1 </dev/null &
    for i in $(seq 150); do
      (($(stack_lines "$log") > before)) && return 0
      sleep 0.1
    done
    echo "$(date +%T) the stack printed nothing in 15 s (start $try): started again" >>"$log"
    left=$(host_pids "$id" 'regwatch\.exe|stack/apply')
    [ -z "$left" ] || kill $left 2>/dev/null || true
  done
  log "$id: the lab stack printed nothing"
}

# stack_restart ID: the lab stack of a host that restarted. Wine's InitiateSystemShutdownEx
# ends nothing, so the stack's processes (regwatch, apply) are ended here if still there after
# 5 s (a process that ends the prefix, as Wine's ExitWindowsEx did, ends them sooner); then the
# stack starts again, as a reboot would bring the host's TCP/IP stack back.
stack_restart() {
  local id=$1 i left
  for i in $(seq 50); do
    left=$(host_pids "$id" 'regwatch\.exe|stack/apply')
    [ -n "$left" ] || break
    sleep 0.1
  done
  [ -z "$left" ] || kill $left 2>/dev/null || true
  stack_up "$id"
}

# The console's host: an address on the segment and a prefix with a framed desktop.
console_up() {
  net_ns_up con NVCONSOLE
  net_link con eth0 "$BR_FRONT" "$(host_mac 253 0)"
  net_static con eth0 "$CONSOLE_IP" 255.255.255.128 -
  prefix_clone con
  # Written into the prefix before its first process: the desktop process reads the
  # setting once, when it starts.
  reg_desktop_file >>"$(prefix_of con)/user.reg"
  prefix_server_up con
  console_files
}

# Copies whatever of the console and its transport is built into C:\Netvane.
console_files() {
  local dir f
  dir="$(host_c con)/Netvane"
  mkdir -p "$dir"
  for f in Netvane.exe nvctl.exe TaviClient.dll; do
    if [ -f "$BUILD_DIR/bin/$f" ]; then cp "$BUILD_DIR/bin/$f" "$dir/"; fi
  done
  cp "$LAB_TOOLS/nvgui.exe" "$(host_c con)/nvlab/"
  # Beside the transport, which it loads: the lab's readiness probe.
  cp "$LAB_TOOLS/discover.exe" "$dir/"
}
