# Running the console in the test lab's console host and driving it with nvgui. Sourced
# after lab_env.sh. Needs an X display (scripts/test runs under xvfb-run); without one a
# private Xvfb is started and stopped with the test.

CONSOLE_DIR='C:\Netvane\'
# The console's trust store (the transport's test setting), emptied by each case so that
# every case meets each host's key first as unknown.
TRUST_STORE='C:\nvlab\known_agents'
trust_store_clear() { rm -f "$(host_c con)/nvlab/known_agents"; }
console_pid=""
xvfb_pid=""

console_cleanup() {
  [ -z "$console_pid" ] || kill "$console_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}

ensure_display() {
  [ -z "${DISPLAY:-}" ] || return 0
  local n
  for n in $(seq 90 99); do
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    wait_until 10 "Xvfb :$n started" test -e "/tmp/.X11-unix/X$n"
    return 0
  done
  e2e_fail "no free X display for Xvfb"
}

# Short time-outs so a missing reply is reported within seconds: Netvane.cfg holds
# discovery time-out, setting time-out and retry count, then six column widths.
console_config() { # DISCOVER SET RETRIES
  local v out=""
  for v in "$@" 30 90 70 60 40 150; do
    printf -v out '%s\\x%02x\\x%02x\\x%02x\\x%02x' "$out" $((v & 255)) $((v >> 8 & 255)) 0 0
  done
  printf "$out" >"$(host_c con)/Netvane/Netvane.cfg"
}

# Back to the built-in time-outs; the console must be closed first, as it saves on closing.
console_config_clear() { rm -f "$(host_c con)/Netvane/Netvane.cfg"; }

console_start() {
  ensure_display
  [ -f "$(host_c con)/Netvane/Netvane.exe" ] || e2e_fail "Netvane.exe is not in the console host"
  in_host con env DISPLAY="$DISPLAY" NETVANE_TRUST_STORE="$TRUST_STORE" \
    wine "${CONSOLE_DIR}Netvane.exe" >"$LAB_DIR/log/console.log" 2>&1 &
  console_pid=$!
  gui wait-main 30
}

# gui COMMAND...: one nvgui script against the running console; prints what it reads.
gui() {
  in_host con env DISPLAY="$DISPLAY" wine 'C:\nvlab\nvgui.exe' "$@" | tr -d '\r'
}

# Closes the console with its Close button (after dismissing any prompt) and waits until
# it is gone; a console that does not close is ended by Wine's taskkill.
console_stop() {
  gui wait-main 3 dismiss click 2 gone 10 >/dev/null 2>&1 ||
    in_host con wine taskkill /f /im Netvane.exe >/dev/null 2>&1 || true
  if [ -n "$console_pid" ]; then
    local i
    for i in $(seq 50); do kill -0 "$console_pid" 2>/dev/null || break; sleep 0.1; done
    kill "$console_pid" 2>/dev/null || true
    console_pid=""
  fi
}

console_discover() { # expected row count
  gui wait-main 10 click 1000 wait-disabled 1000 10 wait-enabled 1000 40 wait-idle 10 wait-rows "$1" 10 rows
}

# nvgui commands that trust the host's key when the console asks (first authenticated request
# to that host), then confirm a Verify Password prompt as the lab's administrator.
TRUST_KEY=(host-key 15 yes)
VERIFY_AS_ADMIN=("${TRUST_KEY[@]}" dialog "Verify Password" 15 dlg-text 1018 Administrator dlg-text 1017 lab dlg-click 1)

screenshot() { # NAME
  local dir=${NVLAB_SHOTS:-$LAB_DIR/shots}
  mkdir -p "$dir"
  import -window root -crop 800x600+0+0 "$dir/$1.png" 2>/dev/null || true
}
