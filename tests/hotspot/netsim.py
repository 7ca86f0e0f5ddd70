#!/usr/bin/env python3
"""Stand-ins for the two network tools the hotspot drives:

    netsim.py <dir> networksetup <option> <args...>
    netsim.py <dir> PlistBuddy -c "Print <key>" <plist path>

over a simulated configuration in <dir>/state.json: "services" [{name, port,
enabled, manual, address, mask}] in service order, "plists" {path: {key: value}}, and optional
"listings", the replies of successive -listnetworkserviceorder calls: null (from the
state), {"services": [...]} (as if those were the services) or {"text", "status"}.
"""
import json
import os
import sys


def error(message, status):
    print(message)
    return status


def listing(services):
    lines = ["An asterisk (*) denotes that a network service is disabled."]
    for position, s in enumerate(services, 1):
        lines += ["(%s) %s" % (position if s.get("enabled", True) else "*", s["name"]),
                  "(Hardware Port: %s, Device: %s)" % (s["port"], s["port"]), ""]
    return "\n".join(lines)


def networksetup(state, option, *rest):
    services = state["services"]
    found = [s for s in services if rest and s["name"] == rest[0]]

    if option == "-listnetworkserviceorder":
        calls = state["listingCalls"] = state.get("listingCalls", 0) + 1
        reply = (state.get("listings", []) + [None] * calls)[calls - 1] or state
        if "text" in reply:
            sys.stdout.write(reply["text"])
            return reply["status"]
        print(listing(reply["services"]))
    elif option == "-ordernetworkservices":
        if sorted(rest) != sorted(s["name"] for s in services):
            return error("** Error: Every network service must be named exactly once.", 1)
        services.sort(key=lambda s: rest.index(s["name"]))
    elif option == "-createnetworkservice":
        if found:
            return error("%s is already a network service." % rest[0], 1)
        services.append({"name": rest[0], "port": rest[1]})
    elif not found:
        return error("** Error: The parameters were not valid.", 4)
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
    else:
        return error("** Error: The parameters were not valid.", 1)
    return 0


def plistbuddy(state, _, command, path):
    key = command[len("Print "):]
    value = state["plists"].get(path, {}).get(key)
    if value is None:
        return error('Print: Entry, "%s", Does Not Exist' % key, 1)
    if isinstance(value, list):
        print("Array {\n" + "".join("    %s\n" % v for v in value) + "}")
    else:
        print(json.dumps(value) if isinstance(value, bool) else value)
    return 0


def main():
    path = os.path.join(sys.argv[1], "state.json")
    with open(path) as f:
        state = json.load(f)
    status = (networksetup if sys.argv[2] == "networksetup" else plistbuddy)(state, *sys.argv[3:])
    with open(path, "w") as f:
        json.dump(state, f)
    return status


if __name__ == "__main__":
    sys.exit(main())
