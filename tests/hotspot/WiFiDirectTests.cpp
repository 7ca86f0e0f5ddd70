#include "hotspot/WiFiDirect.h"
#include "tests/hotspot/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace WiFiDirect::macOS;
using WiFiDirect::serviceName;
using WiFiDirect::loopbackServiceName;

namespace juce
{
    // Readable failure messages: one command line per line.
    inline void PrintTo (const StringArray& lines, std::ostream* os)  { *os << "\n" << lines.joinIntoString ("\n"); }
}

namespace
{
const juce::String natPlist ("/Library/Preferences/SystemConfiguration/com.apple.nat.plist");

// Services as the stand-in keeps them, in the order they are listed.
const juce::String ethernet (R"({"name":"Ethernet","port":"Ethernet"})");
const juce::String wifi (R"({"name":"Wi-Fi","port":"Wi-Fi"})");
const juce::String bridge (R"({"name":"Cable Bridge","port":"Cable Bridge"})");
const juce::String otherLoopback (R"({"name":"Other Loopback","port":"lo0"})");
const juce::String sondrevix (R"({"name":"Sondrevix","port":"lo0","manual":true,"address":"127.0.0.1","mask":"255.255.255.255"})");
const juce::String sondrevixOff (R"({"name":"Sondrevix","port":"lo0","enabled":false,"manual":true,"address":"127.0.0.1","mask":"255.255.255.255"})");
const juce::String sondrevixLoopback (R"({"name":"SondrevixLoopback","port":"lo0","manual":true,"address":"127.0.0.1","mask":"255.255.255.255"})");

juce::String jsonList (const juce::StringArray& items)    { return "[" + items.joinIntoString (",") + "]"; }

/** The Internet Sharing property list; a null fragment leaves that key out. */
juce::String natSettings (const char* enabled, const char* device, const char* readable, const char* sharingDevices)
{
    juce::StringArray primary, nat;

    if (device != nullptr)          primary.add (juce::String ("\"Device\":") + device);
    if (readable != nullptr)        primary.add (juce::String ("\"PrimaryUserReadable\":") + readable);
    if (enabled != nullptr)         nat.add (juce::String ("\"Enabled\":") + enabled);
    nat.add ("\"PrimaryInterface\":{" + primary.joinIntoString (",") + "}");
    if (sharingDevices != nullptr)  nat.add (juce::String ("\"SharingDevices\":") + sharingDevices);

    return "{\"NAT\":{" + nat.joinIntoString (",") + "}}";
}

const juce::String sharingToWiFi = natSettings ("1", "\"lo0\"", "\"Sondrevix\"", "[\"en0\"]");

// The command lines as the functions must send them.
juce::String exists (const juce::String& name)  { return "networksetup -getnetworkserviceenabled " + name; }
juce::String plist (const juce::String& key)    { return "/usr/libexec/PlistBuddy -c \"Print " + key + "\" " + natPlist; }
const juce::String lo0Listing (R"cmd(networksetup -listnetworkserviceorder | sed -n '/Device: lo0/{x;p;d;}; x' | sed 's/(.*) //')cmd");
const juce::String fullListing (R"cmd(networksetup -listnetworkserviceorder | sed -n 's/^([0-9,*]*) \(.*$\)/\1/p')cmd");

juce::StringArray configuredChecks (const juce::String& name)
{
    return { exists (name),
             "networksetup -getinfo " + name + R"cmd( | grep "Manual Configuration")cmd",
             "networksetup -getinfo " + name + R"cmd( | sed -n 's/^IP address: \(.*$\)/\1/p')cmd",
             "networksetup -getinfo " + name + R"cmd( | sed -n 's/^Subnet mask: \(.*$\)/\1/p')cmd",
             lo0Listing };
}

juce::StringArray lines (std::initializer_list<juce::String> items)
{
    juce::StringArray result;

    for (const auto& item : items)
        result.add (item);

    return result;
}

juce::StringArray operator+ (juce::StringArray a, const juce::StringArray& b)  { a.addArray (b); return a; }

/** Puts the stand-in tools (netsim.py) in front of the real ones for one test.
    networksetup is found through PATH. PlistBuddy is called by absolute path,
    so the test's ZDOTDIR holds a .zshenv, which "zsh -c" reads before the
    command, defining a function of that name; zsh looks functions up before
    paths. The same file records each command line exactly as given. */
class NetworkSimulation
{
public:
    NetworkSimulation (const juce::String& services, const juce::String& nat, const juce::String& extraState = {})
    {
        folder.createDirectory();
        const auto networksetup = folder.getChildFile ("bin/networksetup");
        networksetup.getParentDirectory().createDirectory();
        writeText (networksetup, "#!/bin/sh\nexec " + python() + " \"$SX_NETSIM_SCRIPT\" networksetup \"$@\"\n");
        networksetup.setExecutePermission (true);
        writeStartupFile (false);

        writeText (folder.getChildFile ("state.json"),
            R"({"ports":{"Ethernet":"en0","Wi-Fi":"en1","Cable Bridge":"bridge0","lo0":"lo0"},)"
            "\"services\":" + services + ",\"plists\":{" + (nat.isEmpty() ? juce::String() : natPlist.quoted() + ":" + nat) + "}"
            + (extraState.isEmpty() ? juce::String() : "," + extraState) + "}");

        const auto* path = std::getenv ("PATH");
        env.set ("PATH", networksetup.getParentDirectory().getFullPathName().toStdString() + ":" + (path != nullptr ? path : ""));
        env.set ("ZDOTDIR", folder.getFullPathName().toStdString());
        env.set ("SX_NETSIM_DIR", folder.getFullPathName().toStdString());
        env.set ("SX_NETSIM_SCRIPT", SX_NETSIM_SCRIPT);
    }

    ~NetworkSimulation()    { folder.deleteRecursively(); }

    /** pipefail lets a failing tool show through the sed after it as a non-zero status. */
    void writeStartupFile (bool pipefail)
    {
        writeText (folder.getChildFile (".zshenv"),
            juce::String (pipefail ? "setopt pipefail\n" : "")
            + "print -r -- \"$ZSH_EXECUTION_STRING\" >> \"$SX_NETSIM_DIR/commands.log\"\n"
              "function /usr/libexec/PlistBuddy { " + python() + " \"$SX_NETSIM_SCRIPT\" PlistBuddy \"$@\" }\n");
    }

    juce::StringArray commands() const
    {
        juce::StringArray lines;
        folder.getChildFile ("commands.log").readLines (lines);
        lines.removeEmptyStrings();
        return lines;
    }

    void clearCommands()    { folder.getChildFile ("commands.log").deleteFile(); }

    juce::StringArray serviceOrder() const
    {
        juce::StringArray names;

        const auto state = juce::JSON::parse (folder.getChildFile ("state.json"));

        if (const auto* services = state["services"].getArray())
            for (const auto& service : *services)
                names.add (service["name"].toString());

        return names;
    }

private:
    // The system's interpreter starts several times faster than a version
    // manager's shim, and the tools run a few dozen times per scenario.
    static juce::String python()
    {
        return juce::File ("/usr/bin/python3").existsAsFile() ? "/usr/bin/python3" : "python3";
    }

    static void writeText (const juce::File& file, const juce::String& text)
    {
        file.replaceWithText (text, false, false, "\n");
    }

    // The pid keeps test programs that ctest runs side by side apart.
    const juce::File folder { juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getNonexistentChildFile ("sx-netsim-" + juce::String (::getpid()), {}, false) };
    ScopedEnvironment env;
};
}

TEST (LoopbackServices, FreshSystemIsSetUpFromScratchThenLeftAlone)
{
    NetworkSimulation sim (jsonList ({ ethernet, wifi }), sharingToWiFi);

    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands(), lines ({ exists (serviceName), exists (serviceName), exists (loopbackServiceName),
                                                    "networksetup -createnetworkservice Sondrevix lo0",
                                                    "networksetup -setmanual Sondrevix 127.0.0.1 255.255.255.255",
                                                    "networksetup -createnetworkservice SondrevixLoopback lo0",
                                                    "networksetup -setmanual SondrevixLoopback 127.0.0.1 255.255.255.255",
                                                    lo0Listing }));
    EXPECT_EQ (sim.serviceOrder(), lines ({ "Ethernet", "Wi-Fi", "Sondrevix", "SondrevixLoopback" }));

    sim.clearCommands();
    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands(), configuredChecks (serviceName) + configuredChecks (loopbackServiceName) + lines ({ lo0Listing }));
}

TEST (LoopbackServices, WrongOrderIsRebuiltThenOrderedBeforeTheFirstOtherLo0Service)
{
    NetworkSimulation sim (jsonList ({ ethernet, otherLoopback, wifi, bridge, sondrevixLoopback, sondrevix }), sharingToWiFi);

    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands(), configuredChecks (serviceName) + configuredChecks (loopbackServiceName)
                                 + lines ({ lo0Listing, exists (serviceName),
                                                        "networksetup -deletepppoeservice Sondrevix",
                                                        "networksetup -deletepppoeservice SondrevixLoopback",
                                                        "networksetup -createnetworkservice Sondrevix lo0",
                                                        "networksetup -setmanual Sondrevix 127.0.0.1 255.255.255.255",
                                                        "networksetup -createnetworkservice SondrevixLoopback lo0",
                                                        "networksetup -setmanual SondrevixLoopback 127.0.0.1 255.255.255.255",
                                                        lo0Listing, lo0Listing, fullListing,
                                                        R"(networksetup -ordernetworkservices "Ethernet" "Sondrevix" "Other Loopback" "Wi-Fi" "Cable Bridge" "SondrevixLoopback")" }));
    EXPECT_EQ (sim.serviceOrder(), lines ({ "Ethernet", "Sondrevix", "Other Loopback", "Wi-Fi", "Cable Bridge", "SondrevixLoopback" }));
    EXPECT_TRUE (isPrimaryLoopbackService());
}

// The next three script what successive service-order listings print (the
// third, fourth... follow the simulated state), as if the order changed
// between the set-up's readings of it.
TEST (LoopbackServices, OnlySondrevixLeftOnLo0NeedsNoReordering)
{
    NetworkSimulation sim (jsonList ({ ethernet, otherLoopback, wifi }), sharingToWiFi,
                           "\"listings\":[null,{\"services\":" + jsonList ({ ethernet, wifi, sondrevix }) + "}]");

    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands().joinIntoString ("\n").fromLastOccurrenceOf ("255.255.255.255\n", false, false),
               lines ({ lo0Listing, lo0Listing, fullListing }).joinIntoString ("\n"));
}

TEST (LoopbackServices, SondrevixListedTwiceStandsOnceBeforeTheAnchor)
{
    const auto twice = "{\"services\":" + jsonList ({ ethernet, sondrevix, otherLoopback, wifi, sondrevix, sondrevixLoopback }) + "}";
    NetworkSimulation sim (jsonList ({ ethernet, otherLoopback, wifi }), sharingToWiFi, "\"listings\":[null," + twice + "," + twice + "]");

    EXPECT_TRUE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands()[sim.commands().size() - 1],
               R"(networksetup -ordernetworkservices "Ethernet" "Sondrevix" "Other Loopback" "Wi-Fi" "SondrevixLoopback")");
    EXPECT_EQ (sim.serviceOrder(), lines ({ "Ethernet", "Sondrevix", "Other Loopback", "Wi-Fi", "SondrevixLoopback" }));
}

TEST (LoopbackServices, FailingOrderListingSendsAnEmptyOrder)
{
    NetworkSimulation sim (jsonList ({ ethernet, otherLoopback, wifi }), sharingToWiFi,
                           R"("listings":[null,null,{"text":"** Error: no service order.\n","status":1}])");
    sim.writeStartupFile (true);

    EXPECT_FALSE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands()[sim.commands().size() - 2], fullListing);
    EXPECT_EQ (sim.commands()[sim.commands().size() - 1], "networksetup -ordernetworkservices");
    EXPECT_EQ (sim.serviceOrder(), lines ({ "Ethernet", "Other Loopback", "Wi-Fi", "Sondrevix", "SondrevixLoopback" }));
}

TEST (LoopbackServices, SetUpStopsAtTheFirstFailingStep)
{
    NetworkSimulation sim (jsonList ({ ethernet }), sharingToWiFi, R"("fail":{"-setmanual":6})");

    EXPECT_FALSE (setupLoopbackNetworkServices());
    EXPECT_EQ (sim.commands()[sim.commands().size() - 1], "networksetup -setmanual Sondrevix 127.0.0.1 255.255.255.255");
    EXPECT_EQ (sim.serviceOrder(), lines ({ "Ethernet", "Sondrevix" }));
}

TEST (Hotspot, DisabledSondrevixExistsButTheHotspotIsOffUntilEnabled)
{
    NetworkSimulation sim (jsonList ({ ethernet, wifi, sondrevixOff, sondrevixLoopback }), sharingToWiFi);

    EXPECT_TRUE (networkServiceExists (serviceName));
    EXPECT_TRUE (isNetworkServiceConfigured (serviceName)); // its "(*)" position is stripped like any other
    EXPECT_TRUE (isInternetSharingConfigured());
    EXPECT_FALSE (isHotspotActive());

    sim.clearCommands();
    EXPECT_TRUE (setNetworkServiceEnabled (true));
    EXPECT_TRUE (isHotspotActive());
    EXPECT_EQ (sim.commands(), lines ({ "networksetup -setnetworkserviceenabled Sondrevix on",
                                                    plist (":NAT:Enabled"), plist (":NAT:PrimaryInterface:Device"),
                                                    plist (":NAT:PrimaryInterface:PrimaryUserReadable"),
                                                    plist (":NAT:SharingDevices") + " | grep en0", exists (serviceName) }));

    EXPECT_TRUE (setNetworkServiceEnabled (false));
    EXPECT_FALSE (isHotspotActive());
    EXPECT_FALSE (networkServiceExists ("Missing"));
}

struct SharingCase
{
    const char* what;
    juce::String nat;
    int commandsRun;
};

void PrintTo (const SharingCase& c, std::ostream* os)   { *os << c.what; }

class InternetSharing : public testing::TestWithParam<SharingCase> {};

TEST_P (InternetSharing, AnyKeyMissingOrWrongMeansNotConfigured)
{
    NetworkSimulation sim (jsonList ({ ethernet, wifi, sondrevix, sondrevixLoopback }), GetParam().nat);

    EXPECT_FALSE (isInternetSharingConfigured());
    EXPECT_EQ (sim.commands().size(), GetParam().commandsRun) << sim.commands().joinIntoString ("\n");

    EXPECT_FALSE (isHotspotActive());
    EXPECT_EQ (sim.commands().size(), 2 * GetParam().commandsRun); // the service is not even asked about
}

INSTANTIATE_TEST_SUITE_P (Keys, InternetSharing, testing::Values (
    SharingCase { "no property list", {}, 1 },
    SharingCase { "enabled missing", natSettings (nullptr, "\"lo0\"", "\"Sondrevix\"", "[\"en0\"]"), 1 },
    SharingCase { "enabled 0", natSettings ("0", "\"lo0\"", "\"Sondrevix\"", "[\"en0\"]"), 1 },
    SharingCase { "enabled printed as true", natSettings ("true", "\"lo0\"", "\"Sondrevix\"", "[\"en0\"]"), 1 },
    SharingCase { "device missing", natSettings ("1", nullptr, "\"Sondrevix\"", "[\"en0\"]"), 2 },
    SharingCase { "shared from en1", natSettings ("1", "\"en1\"", "\"Sondrevix\"", "[\"en0\"]"), 2 },
    SharingCase { "service name missing", natSettings ("1", "\"lo0\"", nullptr, "[\"en0\"]"), 3 },
    SharingCase { "other service", natSettings ("1", "\"lo0\"", "\"SondrevixLoopback\"", "[\"en0\"]"), 3 },
    SharingCase { "indented value", natSettings ("1", "\"lo0\"", "\"  Sondrevix\"", "[\"en0\"]"), 3 },
    SharingCase { "sharing devices missing", natSettings ("1", "\"lo0\"", "\"Sondrevix\"", nullptr), 4 },
    SharingCase { "shared to other devices", natSettings ("1", "\"lo0\"", "\"Sondrevix\"", "[\"en1\",\"bridge0\"]"), 4 }),
    [] (const auto& info) { return juce::String (info.param.what).replaceCharacter (' ', '_').toStdString(); });

TEST (InternetSharing, AnyLineNamingEn0IsEnough)
{
    NetworkSimulation sim (jsonList ({ sondrevix }), natSettings ("1", "\"lo0\"", "\"Sondrevix\"", "[\"bridge0\",\"en0\"]"));
    EXPECT_TRUE (isInternetSharingConfigured());
}

TEST (Hotspot, WithoutTheToolsItIsOffQuickly)
{
    if (juce::File ("/usr/libexec/PlistBuddy").exists() || macOS::runShellCommand ("whence networksetup").exitCode == 0)
        GTEST_SKIP() << "this machine has the real tools";

    const auto start = juce::Time::getMillisecondCounterHiRes();

    EXPECT_FALSE (isHotspotActive());
    EXPECT_FALSE (networkServiceExists (serviceName));
    EXPECT_FALSE (isNetworkServiceConfigured (serviceName));
    EXPECT_FALSE (isPrimaryLoopbackService());
    EXPECT_FALSE (setupLoopbackNetworkServices());
    EXPECT_EQ (macOS::runShellCommand ("networksetup -getnetworkserviceenabled Sondrevix").exitCode, 127);

    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 5000.0);
}

TEST (Hotspot, PasswordIsThirteenAsciiCharacters)
{
    EXPECT_EQ (WiFiDirect::hotspotPassword.size(), 13u);
    EXPECT_TRUE (juce::String (WiFiDirect::hotspotPassword).containsOnly ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-"));
    EXPECT_EQ (WiFiDirect::hotspotSSID.size(), 15u);
}
