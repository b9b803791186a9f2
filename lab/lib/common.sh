# Names, paths and helpers shared by every lab command. Sourced, never run.
# Everything the lab creates carries the prefix $LAB (namespaces, links, bridge) or lives
# under $LAB_DIR, so `down` can remove exactly what `up` made and nothing else.

LAB=${NVLAB_NAME:-nvlab}
LAB_DIR=${NVLAB_DIR:-/tmp/$LAB}
LAB_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
REPO=$(cd "$LAB_SRC/.." && pwd)
BUILD_DIR=${NVLAB_BUILD:-$REPO/build/windows}
export NVLAB_NAME=$LAB NVLAB_DIR=$LAB_DIR NVLAB_BUILD=$BUILD_DIR

BR_FRONT=$LAB-br0   # the segment every host and the console share
BR_BACK=$LAB-br1    # a second segment for the two-adapter host
NET_FRONT=198.51.100      # .0/25 in front, .128/25 behind
ROUTER_IP=$NET_FRONT.1    # the server namespace: gateway, DHCP and DNS address
CONSOLE_IP=$NET_FRONT.10

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

log() { printf '[lab] %s\n' "$*" >&2; }
die() { printf '[lab] error: %s\n' "$*" >&2; exit 1; }

ns_name() { echo "$LAB-$1"; }                 # host id (h1, con, srv) -> namespace

# host_pids ID REGEX: the processes in host ID whose command line matches REGEX (grep -E).
host_pids() {
  local pid
  for pid in $(ip netns pids "$(ns_name "$1")"); do
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qE "$2" && echo "$pid"
  done
  return 0
}
prefix_of() { echo "$LAB_DIR/prefix/$1"; }
uts_file() { echo "$LAB_DIR/ns/$1.uts"; }

# Runs a command inside a simulated host: its network namespace (with its own
# /etc/resolv.conf through /etc/netns), its UTS namespace and its Wine prefix.
in_host() {
  local id=$1; shift
  x_auth_any_host
  ip netns exec "$(ns_name "$id")" nsenter --uts="$(uts_file "$id")" \
    env WINEPREFIX="$(prefix_of "$id")" "$@"
}

# X cookies are filed under the machine's host name, which a simulated host does not
# carry; a copy of the display's cookie that matches any host name lets its programs in.
x_auth_any_host() {
  local auth=${XAUTHORITY:-${HOME:-/root}/.Xauthority} copy=$LAB_DIR/run/Xauthority
  [ -n "${DISPLAY:-}" ] && [ -f "$auth" ] && [ "$auth" != "$copy" ] || return 0
  mkdir -p "$LAB_DIR/run"
  xauth -f "$auth" nlist "$DISPLAY" | sed 's/^..../ffff/' | xauth -f "$copy" nmerge - 2>/dev/null || return 0
  export XAUTHORITY=$copy
}

# Windows path of a file under a host's drive C.
host_c() { echo "$(prefix_of "$1")/drive_c"; }
