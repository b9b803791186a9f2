#!/usr/bin/env python3
"""Compares `nvctl discover --format json` with what expect_host.sh read from each lab host.
Usage: nvctl_check.py DISCOVERY.json EXPECT_FILE...  (one expect file per host)"""
import json
import sys


def parse_expect(path):
    host = {"nics": [], "mgmt": None}
    for line in open(path, encoding="utf-8"):
        parts = line.split()
        if not parts:
            continue
        key, rest = parts[0], parts[1:]
        if key == "host":
            host["name"] = rest[0]
        elif key == "pending":
            host["pending"] = rest[0] == "1"
        elif key == "mgmt":
            host["mgmt"] = (int(rest[0]), int(rest[1]))
        elif key == "os":
            host["build"] = rest[6]
        elif key == "nic":
            mac, dhcp, ip, mask, gw = rest
            host["nics"].append({"mac": mac.upper(), "mode": "dhcp" if dhcp == "1" else "fixed",
                                 "address": ip, "mask": mask, "gateway": "0.0.0.0" if gw == "-" else gw})
        elif key == "dns":
            host["dns"] = {"server": rest[0], "mode": "fixed" if rest[1] == "1" else "auto"}
        elif key == "setup":
            host["setup"] = int(rest[0])
    return host


def main():
    listed = json.load(open(sys.argv[1], encoding="utf-8"))
    failures = []
    for path in sys.argv[2:]:
        want = parse_expect(path)
        found = [h for h in listed if h["host"] == want["name"]]
        if len(found) != 1:
            failures.append(f"{want['name']}: listed {len(found)} times")
            continue
        got = found[0]
        checks = [
            ("model", got["model"], "Unknown"),
            ("os version", got["os"]["version"], want["build"]),
            ("pending", got["nameChangePending"], want["pending"]),
            ("setup", got["setupState"], want["setup"]),
            ("dns", got["dns"], want["dns"]),
            ("adapters", [{k: a[k] for k in ("mac", "mode", "address", "mask", "gateway")}
                          for a in got["adapters"]], want["nics"]),
            ("agent MAC", got["agentMac"], want["nics"][0]["mac"]),
            ("answered on", got["answeredOn"]["address"], want["nics"][0]["address"]),
        ]
        if want["mgmt"]:
            checks.append(("management", (got["management"]["type"], got["management"]["port"]),
                           want["mgmt"]))
        for what, have, expected in checks:
            if have != expected:
                failures.append(f"{want['name']}: {what} is {have!r}, expected {expected!r}")
        print(f"checked {want['name']}: {len(got['adapters'])} adapter(s)")
    if len(listed) != len(sys.argv) - 2:
        failures.append(f"{len(listed)} hosts listed, {len(sys.argv) - 2} in the lab")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
