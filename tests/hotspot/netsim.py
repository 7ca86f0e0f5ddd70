#!/usr/bin/env python3
"""Stand-ins for the hotspot's network tools: netsim.py <dir> networksetup|PlistBuddy <args...>,
over <dir>/state.json: "services" in service order, "plists" {path: {key: value}}, and "listings",
what successive service-order listings print: null (the state), {"services": [...]} or {"text", "status"},
and "failing", the networksetup options that the system refuses.
"""
import json
import sys


def networksetup(state, option, *rest):
    services = state["services"]
    found = [s for s in services if rest and s["name"] == rest[0]]
    if option in state.get("failing", []):
        return print("** Error: The operation couldn't be completed.") or 1
    if option == "-listnetworkserviceorder":
        calls = state["listingCalls"] = state.get("listingCalls", 0) + 1
        reply = (state["listings"] + [None] * calls)[calls - 1] or state
        if "text" in reply:
            sys.stdout.write(reply["text"])
            return reply["status"]
        print("An asterisk (*) denotes that a network service is disabled.")
        for position, s in enumerate(reply["services"], 1):
            print("(%s) %s\n(Hardware Port: %s, Device: %s)\n" % (position if s.get("enabled", True) else "*",
                                                                 s["name"], s["port"], s["port"]))
    elif option == "-ordernetworkservices":
        if sorted(rest) != sorted(s["name"] for s in services):
            return print("** Error: Every network service must be named exactly once.") or 1
        services.sort(key=lambda s: rest.index(s["name"]))
    elif option == "-createnetworkservice":
        if found:
            return print("%s is already a network service." % rest[0]) or 1
        services.append({"name": rest[0], "port": rest[1]})
    elif not found:
        return print("** Error: The parameters were not valid.") or 4
    elif option == "-getnetworkserviceenabled":
        print("Enabled" if found[0].get("enabled", True) else "Disabled")
    elif option == "-getinfo":
        s = found[0]
        print("Manual Configuration\nIP address: %s\nSubnet mask: %s" % (s["address"], s["mask"])
              if s.get("manual") else "DHCP Configuration")
    elif option == "-deletepppoeservice":
        services.remove(found[0])
    elif option == "-setmanual":
        found[0].update(manual=True, address=rest[1], mask=rest[2])
    elif option == "-setnetworkserviceenabled":
        found[0]["enabled"] = rest[1] == "on"
    return 0


def plistbuddy(state, _, command, path):
    key = command[len("Print "):]
    value = state["plists"].get(path, {}).get(key)
    if value is None:
        return print('Print: Entry, "%s", Does Not Exist' % key) or 1
    if isinstance(value, list):
        value = "Array {\n" + "".join("    %s\n" % v for v in value) + "}"
    print(json.dumps(value) if isinstance(value, bool) else value)
    return 0


path = sys.argv[1] + "/state.json"
with open(path) as f:
    state = json.load(f)
status = (networksetup if sys.argv[2] == "networksetup" else plistbuddy)(state, *sys.argv[3:])
with open(path, "w") as f:
    json.dump(state, f)
sys.exit(status)
