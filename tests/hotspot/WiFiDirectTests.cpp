#include "hotspot/WiFiDirect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace WiFiDirect::macOS;

namespace
{
const juce::String natPlist ("/Library/Preferences/SystemConfiguration/com.apple.nat.plist");

// Services as the stand-in keeps them, in service order.
juce::String service (const juce::String& name, const juce::String& port = "en0", const juce::String& more = {})
{
    return R"({"name":")" + name + R"(","port":")" + port + "\"" + more + "}";
}

juce::String ours (const juce::String& name, bool enabled = true)
{
    return service (name, "lo0", R"(,"manual":true,"address":"127.0.0.1","mask":"255.255.255.255","enabled":)" + juce::String (enabled ? "true" : "false"));
}

const juce::String ethernet = service ("Ethernet"), wifi = service ("Wi-Fi", "en1"), otherLoopback = service ("Other Loopback", "lo0");

/** The Internet Sharing settings by key, with one value changed, or left out when null. */
juce::String natSettings (const juce::String& changedKey = {}, const char* value = nullptr)
{
    const char* const settings[][2] = { { ":NAT:Enabled", "1" }, { ":NAT:PrimaryInterface:Device", R"("lo0")" },
                                        { ":NAT:PrimaryInterface:PrimaryUserReadable", R"("Sondrevix")" },
                                        { ":NAT:SharingDevices", R"(["en0"])" } };
    juce::StringArray fields;
    for (const auto& [key, normal] : settings)
        if (changedKey != key || value != nullptr)
            fields.add (juce::String (key).quoted() + ":" + (changedKey == key ? value : normal));
    return "{" + fields.joinIntoString (",") + "}";
}

// The command lines exactly as they must be sent, one per line.
juce::String lines (const juce::StringArray& commands)   { return commands.joinIntoString ("\n"); }
juce::String exists (const juce::String& name)  { return "networksetup -getnetworkserviceenabled " + name; }
juce::String plist (const juce::String& key)    { return "/usr/libexec/PlistBuddy -c \"Print " + key + "\" " + natPlist; }
const juce::String lo0Listing (R"(networksetup -listnetworkserviceorder | sed -n '/Device: lo0/{x;p;d;}; x' | sed 's/(.*) //')");
const juce::String fullListing (R"(networksetup -listnetworkserviceorder | sed -n 's/^([0-9,*]*) \(.*$\)/\1/p')");

juce::String create (const juce::String& name)
{
    return "networksetup -createnetworkservice " + name + " lo0\nnetworksetup -setmanual " + name + " 127.0.0.1 255.255.255.255";
}

juce::String configuredChecks (const juce::String& name)
{
    const auto info = "networksetup -getinfo " + name;
    return lines ({ exists (name), info + R"( | grep "Manual Configuration")", info + R"( | sed -n 's/^IP address: \(.*$\)/\1/p')",
                    info + R"( | sed -n 's/^Subnet mask: \(.*$\)/\1/p')", lo0Listing });
}

// Puts the stand-in tools (netsim.py) in front of the real ones for one test: the .zshenv
// that "zsh -c" reads first defines functions of their names (found before any path) and
// records each command line exactly as given.
class NetworkSimulation
{
public:
    NetworkSimulation (const juce::StringArray& services, const juce::String& listings = "[]", const juce::String& nat = {})
    {
        // The system's interpreter starts several times faster than a version manager's shim.
        const auto netsim = juce::String (juce::File ("/usr/bin/python3").existsAsFile() ? "/usr/bin/python3" : "python3")
                            + " " + juce::String (SX_NETSIM_SCRIPT).quoted() + " " + folder.getFullPathName().quoted();
        const auto write = [this] (const char* name, const juce::String& text) { folder.getChildFile (name).replaceWithText (text, false, false, "\n"); };
        folder.createDirectory();
        write (".zshenv", "print -r -- \"$ZSH_EXECUTION_STRING\" >> " + log.getFullPathName().quoted() + "\n"
                          "function networksetup { " + netsim + " networksetup \"$@\" }\n"
                          "function /usr/libexec/PlistBuddy { " + netsim + " PlistBuddy \"$@\" }\n");
        write ("state.json", "{\"services\":[" + services.joinIntoString (",") + "],\"plists\":{"
                             + (nat.isEmpty() ? juce::String() : natPlist.quoted() + ":" + nat) + "},\"listings\":" + listings + "}");
        ::setenv ("ZDOTDIR", folder.getFullPathName().toRawUTF8(), 1);
    }

    ~NetworkSimulation()
    {
        ::unsetenv ("ZDOTDIR");
        folder.deleteRecursively();
    }

    /** Every command line run since the last call. */
    juce::String commands() const
    {
        const auto text = log.loadFileAsString().trimEnd();
        log.deleteFile();
        return text;
    }

private:
    // The pid keeps test programs that ctest runs side by side apart.
    const juce::File folder { juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getNonexistentChildFile ("sx-netsim-" + juce::String (::getpid()), {}, false) };
    const juce::File log { folder.getChildFile ("commands.log") };
};
} // namespace

TEST (LoopbackServices, FreshSystemIsSetUpFromScratch)
{
    NetworkSimulation sim ({ ethernet, wifi }, "[]");

    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands(), lines ({ exists ("Sondrevix"), exists ("Sondrevix"), exists ("SondrevixLoopback"),
                                        create ("Sondrevix"), create ("SondrevixLoopback"), lo0Listing }));
}

TEST (LoopbackServices, WrongOrderIsRebuiltThenOrderedBeforeTheFirstOtherLo0Service)
{
    NetworkSimulation sim ({ ethernet, otherLoopback, wifi, service ("Cable Bridge", "bridge0"),
                             ours ("SondrevixLoopback"), ours ("Sondrevix") });

    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands(), lines ({ configuredChecks ("Sondrevix"), configuredChecks ("SondrevixLoopback"), lo0Listing,
                                        exists ("Sondrevix"), "networksetup -deletepppoeservice Sondrevix",
                                        "networksetup -deletepppoeservice SondrevixLoopback",
                                        create ("Sondrevix"), create ("SondrevixLoopback"), lo0Listing, lo0Listing, fullListing,
                                        R"(networksetup -ordernetworkservices "Ethernet" "Sondrevix" "Other Loopback" "Wi-Fi" "Cable Bridge" "SondrevixLoopback")" }));
}

// The next three script what the service-order listings print after the services are
// created, as if the order changed between the set-up's readings of it.
TEST (LoopbackServices, OnlySondrevixLeftOnLo0NeedsNoReordering)
{
    NetworkSimulation sim ({ ethernet, otherLoopback, wifi }, "[null,{\"services\":[" + ethernet + "," + ours ("Sondrevix") + "]}]");

    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_TRUE (sim.commands().endsWith (lines ({ create ("SondrevixLoopback"), lo0Listing, lo0Listing, fullListing })));
}

TEST (LoopbackServices, SondrevixListedTwiceStandsOnceBeforeTheAnchor)
{
    const auto twice = "{\"services\":[" + juce::StringArray (ethernet, ours ("Sondrevix"), otherLoopback, wifi, ours ("Sondrevix"),
                                                                ours ("SondrevixLoopback")).joinIntoString (",") + "]}";
    NetworkSimulation sim ({ ethernet, otherLoopback, wifi }, "[null," + twice + "," + twice + "]");

    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_TRUE (sim.commands().endsWith (R"(networksetup -ordernetworkservices "Ethernet" "Sondrevix" "Other Loopback" "Wi-Fi" "SondrevixLoopback")"));
}

TEST (LoopbackServices, FailingOrderListingSendsAnEmptyOrder)
{
    NetworkSimulation sim ({ ethernet, otherLoopback, wifi }, R"([null,null,{"text":"** Error: no service order.\n","status":1}])");

    EXPECT_FALSE (setupLoopbackNetworkServices());
    EXPECT_TRUE (sim.commands().endsWith (fullListing + "\nnetworksetup -ordernetworkservices"));
}

TEST (Hotspot, DisabledSondrevixExistsButTheHotspotIsOffUntilEnabled)
{
    // Any line of the sharing devices naming en0 will do.
    NetworkSimulation sim ({ ethernet, wifi, ours ("Sondrevix", false), ours ("SondrevixLoopback") }, "[]",
                           natSettings (":NAT:SharingDevices", R"(["bridge0","en0"])"));

    EXPECT_TRUE (isNetworkServiceConfigured ("Sondrevix"));   // its "(*)" position is stripped like any other
    EXPECT_TRUE (isInternetSharingConfigured());
    EXPECT_FALSE (isHotspotActive());
    sim.commands();

    EXPECT_TRUE (setNetworkServiceEnabled (true));
    EXPECT_TRUE (isHotspotActive());
    EXPECT_EQ (sim.commands(), lines ({ "networksetup -setnetworkserviceenabled Sondrevix on",
                                        plist (":NAT:Enabled"), plist (":NAT:PrimaryInterface:Device"),
                                        plist (":NAT:PrimaryInterface:PrimaryUserReadable"),
                                        plist (":NAT:SharingDevices") + " | grep en0", exists ("Sondrevix") }));

    EXPECT_TRUE (setNetworkServiceEnabled (false));
    EXPECT_FALSE (isHotspotActive());
}

TEST (InternetSharing, AnyKeyMissingOrWrongMeansNotConfigured)
{
    const struct { const char* what; juce::String nat; int commandsRun; } cases[] = {
        { "no property list",        {}, 1 },
        { "enabled missing",         natSettings (":NAT:Enabled"), 1 },
        { "enabled 0",               natSettings (":NAT:Enabled", "0"), 1 },
        { "enabled printed as true", natSettings (":NAT:Enabled", "true"), 1 },
        { "device missing",          natSettings (":NAT:PrimaryInterface:Device"), 2 },
        { "shared from en1",         natSettings (":NAT:PrimaryInterface:Device", R"("en1")"), 2 },
        { "service name missing",    natSettings (":NAT:PrimaryInterface:PrimaryUserReadable"), 3 },
        { "other service",           natSettings (":NAT:PrimaryInterface:PrimaryUserReadable", R"("SondrevixLoopback")"), 3 },
        { "indented value",          natSettings (":NAT:PrimaryInterface:PrimaryUserReadable", R"("  Sondrevix")"), 3 },
        { "sharing devices missing", natSettings (":NAT:SharingDevices"), 4 },
        { "shared to other devices", natSettings (":NAT:SharingDevices", R"(["en1","bridge0"])"), 4 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        NetworkSimulation sim ({ ethernet, wifi, ours ("Sondrevix"), ours ("SondrevixLoopback") }, "[]", c.nat);

        EXPECT_FALSE (isInternetSharingConfigured());
        EXPECT_FALSE (isHotspotActive());   // the service is not even asked about
        EXPECT_EQ (juce::StringArray::fromLines (sim.commands()).size(), 2 * c.commandsRun);
    }
}

TEST (Hotspot, WithoutTheToolsItIsOffQuickly)
{
    if (juce::File ("/usr/libexec/PlistBuddy").exists() || macOS::runShellCommand ("whence networksetup").exitCode == 0)
        GTEST_SKIP() << "this machine has the real tools";

    const auto start = juce::Time::getMillisecondCounterHiRes();
    EXPECT_FALSE (isHotspotActive());
    EXPECT_FALSE (setupLoopbackNetworkServices());
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 5000.0);
}
