#!/usr/bin/env python3
"""Stand-ins for the two system configuration tools the hotspot drives.

    netsim.py networksetup <args...>
    netsim.py PlistBuddy -c "Print <key>" <plist path>

A small simulated network configuration lives in $SX_NETSIM_DIR/state.json:

    services      [{name, port, enabled, manual, address, mask}] in service order
    ports         {hardware port: device}
    plists        {path: nested dict}
    listings      optional scripted replies of successive -listnetworkserviceorder
                  calls: null (answer from the state), {"services": [...]} (answer
                  as if those were the services) or {"text", "status"}
    fail          {option: exit status} forces a networksetup option to fail

Every call is appended to $SX_NETSIM_DIR/tools.log as a JSON array.
"""

import json
import os
import sys

STATE_DIR = os.environ["SX_NETSIM_DIR"]
STATE_FILE = os.path.join(STATE_DIR, "state.json")
INVALID = "** Error: The parameters were not valid."


def load():
    with open(STATE_FILE) as f:
        return json.load(f)


def save(state):
    with open(STATE_FILE, "w") as f:
        json.dump(state, f, indent=1)


def log(argv):
    with open(os.path.join(STATE_DIR, "tools.log"), "a") as f:
        f.write(json.dumps(argv) + "\n")


def fail(message, status):
    print(message)
    return status


def find(state, name):
    for service in state["services"]:
        if service["name"] == name:
            return service
    return None


def listing(state):
    lines = ["An asterisk (*) denotes that a network service is disabled."]
    for position, s in enumerate(state["services"], 1):
        lines.append("(%s) %s" % (position if s.get("enabled", True) else "*", s["name"]))
        lines.append("(Hardware Port: %s, Device: %s)" % (s["port"], state["ports"].get(s["port"], "")))
        lines.append("")
    return "\n".join(lines)


def getinfo(s):
    if s.get("manual"):
        lines = ["Manual Configuration",
                 "IP address: " + s.get("address", ""),
                 "Subnet mask: " + s.get("mask", ""),
                 "Router: (null)"]
    else:
        lines = ["DHCP Configuration", "Client ID: "]
    return "\n".join(lines + ["IPv6: Automatic", "IPv6 IP address: none", "IPv6 Router: none"])


def networksetup(args):
    state = load()
    if not args:
        return fail(INVALID, 1)

    option, rest = args[0], args[1:]
    if option in state.get("fail", {}):
        return fail("** Error: %s failed." % option, state["fail"][option])

    if option == "-listnetworkserviceorder":
        calls = state.get("listingCalls", 0)
        state["listingCalls"] = calls + 1
        save(state)
        scripted = state.get("listings", [])
        reply = scripted[calls] if calls < len(scripted) else None
        if reply is not None and "services" in reply:
            print(listing(dict(state, services=reply["services"])))
            return 0
        if reply is not None:
            sys.stdout.write(reply["text"])
            return reply["status"]
        print(listing(state))
        return 0

    if option == "-ordernetworkservices":
        names = sorted(s["name"] for s in state["services"])
        if sorted(rest) != names:
            return fail("** Error: Every network service must be named exactly once.", 1)
        state["services"].sort(key=lambda s: rest.index(s["name"]))
        save(state)
        return 0

    if option == "-createnetworkservice" and len(rest) == 2:
        name, port = rest
        if find(state, name) is not None:
            return fail("%s is already a network service." % name, 1)
        if port not in state["ports"]:
            return fail("%s is not a valid hardware port." % port, 1)
        state["services"].append({"name": name, "port": port, "enabled": True})
        save(state)
        return 0

    if not rest:
        return fail(INVALID, 1)
    service = find(state, rest[0])
    if service is None:
        return fail(INVALID, 4)

    if option == "-getnetworkserviceenabled" and len(rest) == 1:
        print("Enabled" if service.get("enabled", True) else "Disabled")
        return 0

    if option == "-getinfo" and len(rest) == 1:
        print(getinfo(service))
        return 0

    if option == "-deletepppoeservice" and len(rest) == 1:
        state["services"].remove(service)
        save(state)
        return 0

    if option == "-setmanual" and len(rest) in (3, 4):
        service.update(manual=True, address=rest[1], mask=rest[2])
        save(state)
        return 0

    if option == "-setnetworkserviceenabled" and len(rest) == 2 and rest[1] in ("on", "off"):
        service["enabled"] = rest[1] == "on"
        save(state)
        return 0

    return fail(INVALID, 1)


def plist_text(value, indent=""):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, list):
        inner = indent + "    "
        return "Array {\n" + "".join(inner + plist_text(v, inner) + "\n" for v in value) + indent + "}"
    if isinstance(value, dict):
        inner = indent + "    "
        return ("Dict {\n" + "".join("%s%s = %s\n" % (inner, k, plist_text(v, inner)) for k, v in value.items())
                + indent + "}")
    return str(value)


def plistbuddy(args):
    if len(args) != 3 or args[0] != "-c" or not args[1].startswith("Print "):
        return fail("Invalid Arguments", 1)

    key, path = args[1][len("Print "):], args[2]
    plist = load().get("plists", {}).get(path)
    if plist is None:
        print("File Doesn't Exist, Will Create: " + path)
        return fail('Print: Entry, "%s", Does Not Exist' % key, 1)

    value = plist
    for part in filter(None, key.split(":")):
        if not isinstance(value, dict) or part not in value:
            return fail('Print: Entry, "%s", Does Not Exist' % key, 1)
        value = value[part]
    print(plist_text(value))
    return 0


def main():
    tool, args = sys.argv[1], sys.argv[2:]
    log([tool] + args)
    return networksetup(args) if tool == "networksetup" else plistbuddy(args)


if __name__ == "__main__":
    sys.exit(main())
