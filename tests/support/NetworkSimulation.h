#pragma once

#include <juce_core/juce_core.h>

#include <cstdlib>
#include <unistd.h>

/*  Stand-ins for the hotspot's network tools (tests/hotspot/netsim.py) in front of the
    real ones, with the system's network configuration kept in a JSON file of the test.
*/
namespace sx::test
{

inline const juce::String natPlist ("/Library/Preferences/SystemConfiguration/com.apple.nat.plist");

// Services as the stand-in keeps them, in service order; ours are set up for the host address.
inline juce::String service (const juce::String& name, const juce::String& port = "en0")
{
    return R"({"name":")" + name + R"(","port":")" + port + R"("})";
}

inline juce::String ours (const juce::String& name, bool enabled = true)
{
    return R"({"name":")" + name + R"(","port":"lo0","manual":true,"address":"127.0.0.1","mask":"255.255.255.255","enabled":)"
            + (enabled ? "true}" : "false}");
}

// Internet Sharing as the hotspot needs it, as the stand-in keeps the property list.
inline const juce::String sharing (R"({":NAT:Enabled":1,":NAT:PrimaryInterface:Device":"lo0",)"
                                   R"(":NAT:PrimaryInterface:PrimaryUserReadable":"Sondrevix",":NAT:SharingDevices":["en0"]})");

// Puts the stand-in tools in front of the real ones for one test: the .zshenv that
// "zsh -c" reads first defines functions of their names and logs each command line as given.
struct NetworkSimulation
{
    NetworkSimulation (const juce::StringArray& services, const juce::String& listings = "[]", const juce::String& nat = {})
    {
        // The system's interpreter: it starts several times faster than a version manager's shim.
        const auto netsim = "/usr/bin/python3 " + juce::String (SX_NETSIM_SCRIPT).quoted() + " " + folder.getFullPathName().quoted();
        folder.createDirectory();
        folder.getChildFile (".zshenv").replaceWithText ("print -r -- \"$ZSH_EXECUTION_STRING\" >> " + log.getFullPathName().quoted() + "\n"
                                                         "function networksetup { " + netsim + " networksetup \"$@\" }\n"
                                                         "function /usr/libexec/PlistBuddy { " + netsim + " PlistBuddy \"$@\" }\n",
                                                         false, false, "\n");
        state.replaceWithText ("{\"services\":[" + services.joinIntoString (",") + "],\"plists\":{"
                               + (nat.isEmpty() ? juce::String() : natPlist.quoted() + ":" + nat)
                               + "},\"listings\":" + listings + "}");
        ::setenv ("ZDOTDIR", folder.getFullPathName().toRawUTF8(), 1);
    }

    ~NetworkSimulation()   { ::unsetenv ("ZDOTDIR"); folder.deleteRecursively(); }

    // Every command line run since the last call.
    juce::String commands() const   { const auto text = log.loadFileAsString().trimEnd(); log.deleteFile(); return text; }

    // Changes one value of the Internet Sharing property list, as the system settings would.
    void setNatValue (const juce::String& key, const juce::var& value) const
    {
        auto json = juce::JSON::parse (state);
        auto plists = json["plists"];

        if (! plists[natPlist.toRawUTF8()].isObject())
            plists.getDynamicObject()->setProperty (natPlist, juce::var (new juce::DynamicObject()));

        plists[natPlist.toRawUTF8()].getDynamicObject()->setProperty (key, value);
        state.replaceWithText (juce::JSON::toString (json));
    }

    // From now on the system refuses every networksetup command with one of these options.
    void makeNetworksetupFail (const juce::StringArray& options) const
    {
        auto json = juce::JSON::parse (state);
        json.getDynamicObject()->setProperty ("failing", options);
        state.replaceWithText (juce::JSON::toString (json));
    }

    // The pid keeps test programs that ctest runs side by side apart.
    const juce::File folder { juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getNonexistentChildFile ("sx-netsim-" + juce::String (::getpid()), {}, false) };
    const juce::File log { folder.getChildFile ("commands.log") }, state { folder.getChildFile ("state.json") };
};

} // namespace sx::test
