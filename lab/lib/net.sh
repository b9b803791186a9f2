# The Ethernet segments: bridges, namespaces, veth pairs, the DHCP server. Sourced.
# No address is given to the bridges and no namespace gets a route out of the lab.

net_bridges_up() {
  local br
  for br in "$BR_FRONT" "$BR_BACK"; do
    ip link add "$br" type bridge
    # No spanning tree and no forwarding delay: ports forward as soon as they are up.
    ip link set "$br" type bridge stp_state 0 forward_delay 0
    ip link set "$br" up
  done
}

# net_ns_up ID: a namespace with loopback up and its own resolv.conf and UTS namespace.
net_ns_up() {
  local id=$1 ns uts
  ns=$(ns_name "$id")
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  # Removing an adapter's first address keeps its further ones, as on Windows.
  ip netns exec "$ns" sysctl -qw net.ipv4.conf.all.promote_secondaries=1 \
    net.ipv4.conf.default.promote_secondaries=1
  mkdir -p "/etc/netns/$ns" "$LAB_DIR/ns"
  echo "nameserver $ROUTER_IP" >"/etc/netns/$ns/resolv.conf"
  uts=$(uts_file "$id")
  : >"$uts"
  unshare --uts="$uts" hostname "$2"
}

# net_link ID IFNAME BRIDGE MAC: a veth whose inner end is IFNAME in the host's namespace.
net_link() {
  local id=$1 ifname=$2 br=$3 mac=$4 ns outer
  ns=$(ns_name "$id")
  outer="$LAB-$id-${ifname#eth}"
  ip link add "$outer" type veth peer name "$outer-i"
  ip link set "$outer" master "$br" up
  ip link set "$outer-i" netns "$ns"
  ip -n "$ns" link set "$outer-i" name "$ifname" address "$mac" up
}

net_static() { # ID IFNAME ADDR MASK GW
  local ns
  ns=$(ns_name "$1")
  ip -n "$ns" addr add "$3/$(mask_bits "$4")" dev "$2"
  [ "$5" = - ] || ip -n "$ns" route replace default via "$5" dev "$2"
}

mask_bits() {
  local bits=0 octet
  for octet in ${1//./ }; do
    while ((octet & 128)); do bits=$((bits + 1)); octet=$(((octet << 1) & 255)); done
  done
  echo "$bits"
}

# The server namespace: the segment's router address and its DHCP server.
net_dhcp_server_up() {
  net_ns_up srv NVROUTER
  net_link srv eth0 "$BR_FRONT" "$(host_mac 254 0)"
  net_static srv eth0 "$ROUTER_IP" 255.255.255.128 -
  mkdir -p "$LAB_DIR/run"
  ip netns exec "$(ns_name srv)" dnsmasq \
    --conf-file=/dev/null --port=0 --interface=eth0 --bind-interfaces --user=root \
    --dhcp-range="$NET_FRONT.100,$NET_FRONT.120,255.255.255.128,1h" \
    --dhcp-option=option:router,"$ROUTER_IP" --dhcp-option=option:dns-server,"$ROUTER_IP" \
    --dhcp-leasefile="$LAB_DIR/run/dnsmasq.leases" --pid-file="$LAB_DIR/run/dnsmasq.pid" \
    --log-facility="$LAB_DIR/log/dnsmasq.log" --log-dhcp
}
