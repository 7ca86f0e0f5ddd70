#include "hotspot/WiFiDirect.h"
#include "tests/support/NetworkSimulation.h"

#include <gtest/gtest.h>

using namespace WiFiDirect::macOS;
using namespace sx::test;

namespace
{
const juce::String ethernet = service ("Ethernet"), wifi = service ("Wi-Fi", "en1"), otherLoopback = service ("Other Loopback", "lo0");

// The command lines exactly as they must be sent, one per line.
juce::String lines (const juce::StringArray& commands)   { return commands.joinIntoString ("\n"); }
juce::String exists (const juce::String& name)            { return "networksetup -getnetworkserviceenabled " + name; }
juce::String create (const juce::String& name)
{
    return "networksetup -createnetworkservice " + name + " lo0\nnetworksetup -setmanual " + name + " 127.0.0.1 255.255.255.255";
}

const juce::String lo0Listing (R"(networksetup -listnetworkserviceorder | sed -n '/Device: lo0/{x;p;d;}; x' | sed 's/(.*) //')");
const juce::String fullListing (R"(networksetup -listnetworkserviceorder | sed -n 's/^([0-9,*]*) \(.*$\)/\1/p')");
const juce::String order ("networksetup -ordernetworkservices");
} // namespace

TEST (LoopbackServices, SetUpBuildsTheServicesAndOrdersSondrevixBeforeTheFirstOtherLo0Service)
{
    const auto fresh = lines ({ exists ("Sondrevix"), exists ("Sondrevix"), exists ("SondrevixLoopback"),
                                create ("Sondrevix"), create ("SondrevixLoopback"), lo0Listing });
    const auto configuredChecks = [] (const juce::String& name)
    {
        const auto info = "networksetup -getinfo " + name;
        return lines ({ exists (name), info + R"( | grep "Manual Configuration")", info + R"( | sed -n 's/^IP address: \(.*$\)/\1/p')",
                        info + R"( | sed -n 's/^Subnet mask: \(.*$\)/\1/p')", lo0Listing });
    };
    const auto twice = "{\"services\":[" + juce::StringArray (ethernet, ours ("Sondrevix"), otherLoopback, wifi, ours ("Sondrevix"),
                                                                ours ("SondrevixLoopback")).joinIntoString (",") + "]}";

    // "listings" scripts what successive service-order listings print after the services are
    // created, as if the order changed between the set-up's readings of it.
    const struct { const char* what; juce::StringArray services; juce::String listings; bool result; juce::String commands; } cases[] = {
        { "fresh system", { ethernet, wifi }, "[]", true, fresh },
        { "ours in the wrong order", { ethernet, otherLoopback, wifi, service ("Cable Bridge", "bridge0"),
                                       ours ("SondrevixLoopback"), ours ("Sondrevix") }, "[]", true,
          lines ({ configuredChecks ("Sondrevix"), configuredChecks ("SondrevixLoopback"), lo0Listing, exists ("Sondrevix"),
                   "networksetup -deletepppoeservice Sondrevix", "networksetup -deletepppoeservice SondrevixLoopback", create ("Sondrevix"),
                   create ("SondrevixLoopback"), lo0Listing, lo0Listing, fullListing,
                   order + R"( 'Ethernet' "Sondrevix" 'Other Loopback' 'Wi-Fi' 'Cable Bridge' "SondrevixLoopback")" }) },
        { "only Sondrevix left on lo0", { ethernet, otherLoopback, wifi },
          "[null,{\"services\":[" + ethernet + "," + ours ("Sondrevix") + "]}]", true,
          lines ({ fresh, lo0Listing, fullListing }) },
        { "Sondrevix listed twice", { ethernet, otherLoopback, wifi }, "[null," + twice + "," + twice + "]", true,
          lines ({ fresh, lo0Listing, fullListing, order + R"( 'Ethernet' "Sondrevix" 'Other Loopback' 'Wi-Fi' "SondrevixLoopback")" }) },
        { "order listing fails", { ethernet, otherLoopback, wifi }, R"([null,null,{"text":"** Error: no service order.\n","status":1}])", false,
          lines ({ fresh, lo0Listing, fullListing, order }) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        NetworkSimulation sim (c.services, c.listings);
        EXPECT_EQ (setupLoopbackNetworkServices(), c.result);
        EXPECT_EQ (sim.commands(), c.commands);
    }
}

// Names read back from the system are words of the order command, never shell code.
TEST (LoopbackServices, OrderCommandCarriesNamesFromTheSystemIntactAndInert)
{
    const auto folder = juce::File::createTempFile ("sx-injection");
    ASSERT_TRUE (folder.createDirectory());
    const auto marker = folder.getChildFile ("x");
    const auto evil = "Evil$(touch " + marker.getFullPathName() + ")";
    NetworkSimulation sim ({ service (evil), otherLoopback, service (R"(Say \"Hi\")"), service ("It's") });

    EXPECT_TRUE (setupLoopbackNetworkServices());   // the stand-in accepts the order only with every name exact
    EXPECT_FALSE (marker.exists());
    EXPECT_TRUE (sim.commands().endsWith (order + " '" + evil + R"(' "Sondrevix" 'Other Loopback' 'Say "Hi"' 'It'\''s' "SondrevixLoopback")"));
    folder.deleteRecursively();
}

TEST (Hotspot, DisabledSondrevixExistsButTheHotspotIsOffUntilEnabled)
{
    // Any line of the sharing devices naming en0 will do.
    NetworkSimulation sim ({ ethernet, wifi, ours ("Sondrevix", false), ours ("SondrevixLoopback") }, "[]",
                           sharing.replace (R"(["en0"])", R"(["bridge0","en0"])"));

    EXPECT_TRUE (isNetworkServiceConfigured ("Sondrevix"));   // its "(*)" position is stripped like any other
    EXPECT_TRUE (isInternetSharingConfigured());
    EXPECT_FALSE (isHotspotActive());
    sim.commands();

    EXPECT_TRUE (setNetworkServiceEnabled (true));
    EXPECT_TRUE (isHotspotActive());
    const auto plist = [] (const juce::String& key) { return "/usr/libexec/PlistBuddy -c \"Print " + key + "\" " + natPlist; };
    EXPECT_EQ (sim.commands(), lines ({ "networksetup -setnetworkserviceenabled Sondrevix on", plist (":NAT:Enabled"),
                                        plist (":NAT:PrimaryInterface:Device"), plist (":NAT:PrimaryInterface:PrimaryUserReadable"),
                                        plist (":NAT:SharingDevices") + " | grep en0", exists ("Sondrevix") }));

    EXPECT_TRUE (setNetworkServiceEnabled (false));
    EXPECT_FALSE (isHotspotActive());
}

TEST (InternetSharing, AnyKeyMissingOrWrongMeansNotConfigured)
{
    // Each case edits the good settings; a key renamed is a key missing.
    const struct { const char* what; const char* from; const char* to; int commandsRun; } cases[] = {
        { "no property list", nullptr, nullptr, 1 },
        { "enabled printed as true", ":Enabled\":1", ":Enabled\":true", 1 },
        { "shared from en1", R"("lo0")", R"("en1")", 2 },
        { "other service", R"("Sondrevix")", R"("SondrevixLoopback")", 3 },
        { "indented value", R"("Sondrevix")", R"("  Sondrevix")", 3 },
        { "sharing devices missing", "SharingDevices", "X", 4 },
        { "shared to other devices", R"(["en0"])", R"(["en1","bridge0"])", 4 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        NetworkSimulation sim ({ ethernet, wifi, ours ("Sondrevix"), ours ("SondrevixLoopback") }, "[]",
                               c.from == nullptr ? juce::String() : sharing.replace (c.from, c.to));

        EXPECT_FALSE (isHotspotActive());   // the service itself is not even asked about
        EXPECT_EQ (juce::StringArray::fromLines (sim.commands()).size(), c.commandsRun);
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
