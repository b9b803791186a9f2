# The simulated hosts. Each differs as real servers would: name, reported Windows
# version, number of adapters, fixed or DHCP addressing, management settings.
# Versions are Wine's "Version" settings, except win2022: Windows Server 2022 (10.0.20348,
# a server), which Wine 8.0 does not offer and takes from the host's registry instead.
# host_def ID -> "NAME VERSION" ; host_nics ID -> one "IFNAME BRIDGE MODE ADDR MASK GW [DNS]"
# per line (MODE static|dhcp; "-" for an empty field; ADDR and MASK may list further
# addresses and DNS further servers, joined by commas; DNS defaults to the router).
# h1 carries a second address on eth0 and h3 an alternate DNS server, as real servers do:
# an Apply must keep both.

host_ids() {
  local n=$1 i
  for ((i = 1; i <= n; i++)); do echo "h$i"; done
}

host_def() {
  case $1 in
    h1) echo "NVSRV1 win2003" ;;
    h2) echo "NVSRV2 winxp" ;;
    h3) echo "NVSRV3 win2022" ;;
    h4) echo "NVSRV4 win10" ;;
    h5) echo "NVSRV5 win2k" ;;
    *) echo "NVSRV${1#h} win2008" ;;
  esac
}

host_nics() {
  local k=${1#h}
  case $1 in
    h1)
      echo "eth0 $BR_FRONT static $NET_FRONT.21,$NET_FRONT.61 255.255.255.128,255.255.255.128 $ROUTER_IP"
      echo "eth1 $BR_BACK static $NET_FRONT.131 255.255.255.128 -"
      ;;
    h2) echo "eth0 $BR_FRONT dhcp - - -" ;;
    h3) echo "eth0 $BR_FRONT static $NET_FRONT.23 255.255.255.128 $ROUTER_IP $ROUTER_IP,$NET_FRONT.2" ;;
    *)
      if ((k % 2 == 0)); then
        echo "eth0 $BR_FRONT dhcp - - -"
      else
        echo "eth0 $BR_FRONT static $NET_FRONT.$((20 + k)) 255.255.255.128 $ROUTER_IP"
      fi
      ;;
  esac
}

# The host that carries the management product's registry settings.
host_has_mgmt() { [ "$1" = h3 ]; }

# Deterministic MAC per host and adapter (locally administered).
host_mac() { printf '02:4e:56:00:%02x:%02x' "$1" "$2"; }   # NUMBER ADAPTER
