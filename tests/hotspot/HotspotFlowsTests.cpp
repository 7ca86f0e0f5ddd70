#include "hotspot/AccessibilityRequest.h"
#include "hotspot/AppleScriptRunner.h"
#include "hotspot/HotspotFlows.h"
#include "hotspot/SystemSettingsScripts.h"
#include "platform/Accessibility.h"
#include "platform/AppleScript.h"
#include "platform/SystemURL.h"
#include "platform/SystemVersion.h"
#include "tests/support/AppHarness.h"
#include "tests/support/NetworkSimulation.h"

#include <gtest/gtest.h>

namespace juce { bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); }   // the Linux message loop's step

using namespace sx::test;
using Outcome = sx::platform::AppleScriptOutcome;

namespace
{
const Outcome success { true, 0, {} };
Outcome failure (int number, const juce::String& message)   { return { false, number, message }; }

// The boxes are windows: one Xvfb for the whole program, named before the framework first connects.
struct PrivateDisplay : ::testing::Environment
{
    void SetUp() override
    {
        static VirtualDisplay display;
        ASSERT_TRUE (display.isRunning());
        ::setenv ("DISPLAY", display.getName().toRawUTF8(), 1);
    }
};

[[maybe_unused]] auto* const privateDisplay = ::testing::AddGlobalTestEnvironment (new PrivateDisplay);

std::vector<juce::AlertWindow*> boxes()
{
    std::vector<juce::AlertWindow*> found;

    for (int i = 0; i < juce::Desktop::getInstance().getNumComponents(); ++i)
        if (auto* box = dynamic_cast<juce::AlertWindow*> (juce::Desktop::getInstance().getComponent (i)))
            found.push_back (box);

    return found;
}

// Each box on screen as "warning|title|message|buttons".
juce::StringArray describeBoxes()
{
    juce::StringArray descriptions;

    for (auto* box : boxes())
    {
        juce::StringArray buttons;

        for (auto* child : box->getChildren())
            if (auto* button = dynamic_cast<juce::TextButton*> (child))
                buttons.add (button->getButtonText());

        descriptions.add (juce::String (box->getAlertType() == juce::MessageBoxIconType::WarningIcon ? "warning|" : "|") + box->getName() + "|"
                          + box->getDescription().fromFirstOccurrenceOf (box->getName() + ". ", false, false) + "|" + buttons.joinIntoString (","));
    }

    return descriptions;
}

// Presses a button of the box titled so (or Escape), as a user would, and runs the message loop until the box's answer has run.
void press (const juce::String& title, const juce::String& button)
{
    const auto all = boxes();
    const auto it = std::find_if (all.begin(), all.end(), [&] (auto* box) { return box->getName() == title; });
    ASSERT_NE (it, all.end()) << title;

    juce::Component::SafePointer<juce::AlertWindow> box (*it);
    if (button == "Escape")
        static_cast<juce::Component*> (box.getComponent())->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
    else
        box->triggerButtonClick (button);

    for (const auto end = juce::Time::getMillisecondCounter() + 5000; box != nullptr && juce::Time::getMillisecondCounter() < end;)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);

    EXPECT_EQ (box, nullptr) << title;
}

// Takes the system's script engine's place: records every source and answers as told (by default, fails).
struct ScriptedEngine
{
    ScriptedEngine()    { sx::platform::setAppleScriptEngine ([this] (const juce::String& source) { sources.add (source); return answer (source); }); }
    ~ScriptedEngine()   { sx::platform::setAppleScriptEngine ({}); }

    std::function<Outcome (const juce::String&)> answer = [] (const juce::String&) { return failure (-1, "not scripted"); };
    juce::StringArray sources;
};

// An xdg-email first on PATH that writes its arguments, one a line, to a file.
struct StandInMailer
{
    StandInMailer()
    {
        const auto program = folder.getChildFile ("xdg-email"), part = record.withFileExtension ("part");
        program.create();
        program.replaceWithText ("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + part.getFullPathName() + "' && mv '" + part.getFullPathName() + "' '"
                                 + record.getFullPathName() + "'\n", false, false, "\n");
        program.setExecutePermission (true);
        ::setenv ("PATH", (folder.getFullPathName() + ":" + path).toRawUTF8(), 1);
    }

    ~StandInMailer()    { ::setenv ("PATH", path.toRawUTF8(), 1); folder.deleteRecursively(); }

    juce::String arguments() const  { for (int i = 0; i < 500 && ! record.exists(); ++i) juce::Thread::sleep (10); return record.loadFileAsString(); }

    const juce::String path { std::getenv ("PATH") };
    const juce::File folder { juce::File::createTempFile ("sx-mailer") }, record { folder.getChildFile ("arguments") };
};

const juce::String contact ("Please try again. If the error persists, please contact support@sondrevix.example\n\n");
} // namespace

//==============================================================================
TEST (AppleScriptRunner, EachFailureQueuesAWarningBoxWhoseReportMailsTheMaker)
{
    ScriptedEngine engine;
    StandInMailer mailer;
    const juce::String sharingLate ("System Preferences > Sharing window did not open in time."), quoted (R"(Row "Wi\Fi" in C:\ not found)");
    engine.answer = [&] (const juce::String& source)
    {
        return source == "fine" ? success : source == "500" ? failure (500, sharingLate) : source == "negative" ? failure (-1708, quoted)
             : source == "empty" ? failure (0, {}) : failure (-1, "no Mail");
    };

    EXPECT_TRUE (macOS::executeAppleScript ("fine"));

    for (const auto* failing : { "500", "negative", "empty" })
        EXPECT_FALSE (macOS::executeAppleScript (failing));

    EXPECT_EQ (describeBoxes(), (juce::StringArray { "warning|Applescript Error: 500|" + contact + sharingLate + "|Ignore,Report Error",
                                                     "warning|Applescript Error: -1708|" + contact + quoted + "|Ignore,Report Error",
                                                     "warning|Applescript Error: 0|" + contact + "|Ignore,Report Error" }));

    press ("Applescript Error: 500", "Ignore");
    press ("Applescript Error: 0", "Escape");
    EXPECT_EQ (engine.sources.size(), 4) << "Ignore and Escape report nothing";

    // Backslashes and quotes escaped for the AppleScript strings; the mail composer gets the texts as they are.
    press ("Applescript Error: -1708", "Report Error");
    EXPECT_EQ (engine.sources[4], juce::String ("tell application \"Mail\"\r\n"
                                  "set newMessage to make new outgoing message with properties {subject:\"Applescript Error: -1708\", "
                                  "content:\"Error Message: Row \\\"Wi\\\\Fi\\\" in C:\\\\ not found\" & return & return}\r\n"
                                  "tell newMessage\r\nset visible to true\r\nset sender to \"sdfsdfsdfewf\"\r\n"
                                  "make new to recipient at end of to recipients with properties {address:\"support@sondrevix.example\"}\r\n"
                                  "end tell\r\nend tell\r\n"));
    EXPECT_EQ (mailer.arguments(), "--subject\nApplescript Error: -1708\n--body\nError Message: " + quoted + "\nsupport@sondrevix.example\n");
    EXPECT_TRUE (boxes().empty()) << "a failing report shows nothing";
}

// No test engine: the system's own, which on Linux fails at once with its number and message in the box.
TEST (AppleScriptRunner, TheLinuxEngineFailsAtOnce)
{
    const auto start = juce::Time::getMillisecondCounterHiRes();
    EXPECT_FALSE (macOS::executeAppleScript ("return 1"));
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 5000.0);
    EXPECT_EQ (describeBoxes(), juce::StringArray ("warning|Applescript Error: -1|" + contact + "AppleScript is not available on this system|Ignore,Report Error"));
    press ("Applescript Error: -1", "Ignore");
}

TEST (AccessibilityRequest, OnlyTurnOnOpensThePrivacySettings)
{
    juce::StringArray opened;
    sx::platform::setSystemURLOpener ([&] (const juce::String& address) { opened.add (address); });

    WiFiDirect::macOS::LaunchAccessibilityRequestWindow();
    WiFiDirect::macOS::LaunchAccessibilityRequestWindow();
    const juce::String request ("warning|Turn On Accessibility|To use the Wi-Fi Direct Hotspot feature of VADizudiv, select the VADizudiv "
                                "checkbox in Security & Privacy > Accessibility.|Turn On Accessibility,Not Now");
    EXPECT_EQ (describeBoxes(), juce::StringArray (request, request));

    press ("Turn On Accessibility", "Not Now");
    EXPECT_TRUE (opened.isEmpty());
    press ("Turn On Accessibility", "Turn On Accessibility");
    EXPECT_EQ (opened, juce::StringArray ("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"));
    sx::platform::setSystemURLOpener ({});
}

//==============================================================================
TEST (HotspotFlows, TheSwitchsStateTableRowByRow)
{
    using namespace WiFiDirect::macOS;
    const juce::StringArray fresh { service ("Ethernet"), service ("Wi-Fi", "en1") }, ready { service ("Ethernet"), ours ("Sondrevix"), ours ("SondrevixLoopback") },
                            readyButDisabled { service ("Ethernet"), ours ("Sondrevix", false), ours ("SondrevixLoopback") },
                            halfSetUp { service ("Ethernet"), ours ("Sondrevix") },
                            behindAnotherLoopback { service ("Ethernet"), service ("Other Loopback", "lo0") };
    const juce::String request ("Turn On Accessibility");
    const std::pair<juce::String, const char*> scriptNames[] = {
        { startInternetSharingScript (12), "start, below 13" }, { startInternetSharingScript (13), "start, 13" }, { startInternetSharingScript (14), "start, above 13" },
        { wifiOptionsScript (12), "options, below 13" }, { wifiOptionsScript (13), "options, 13" }, { wifiOptionsScript (14), "options, above 13" } };

    enum Event { turnOn, turnOff, configureWhileOn, configureWhileOff };
    enum Script { startsSharing, leavesSharingOff, fails };

    // "enabled": what networksetup was told for Sondrevix, in order; "refused": the networksetup options that fail.
    const struct { const char* what; Event event; bool permission; juce::StringArray services; juce::String nat; std::optional<int> version; Script script;
                   bool on; const char* scripts; const char* enabled; juce::StringArray boxes; juce::StringArray refused = {}; } rows[] = {
        { "on, configured before: only enabled", turnOn, true, readyButDisabled, sharing, 12, fails, true, "", "on", {} },
        { "on, configured before, enabling refused", turnOn, true, readyButDisabled, sharing, 12, startsSharing, false, "", "on", {},
          { "-setnetworkserviceenabled" } },
        { "on, set-up fails once the services exist: no further", turnOn, true, behindAnotherLoopback, {}, 12, startsSharing, false, "", "", {},
          { "-ordernetworkservices" } },
        { "on, fresh system, every step succeeds", turnOn, true, fresh, {}, 12, startsSharing, true, "start, below 13", "on", {} },
        { "on, script leaves sharing off", turnOn, true, fresh, {}, 13, leavesSharingOff, false, "start, 13", "on", {} },
        { "on, script fails", turnOn, true, ready, {}, 14, fails, false, "start, above 13", "on", { "Applescript Error: 510" } },
        { "on, no permission", turnOn, false, ready, sharing, 12, startsSharing, false, "", "", { request } },
        { "off", turnOff, true, ready, sharing, 12, startsSharing, false, "", "off", {} },
        { "off, services not ready: nothing", turnOff, true, halfSetUp, sharing, 12, startsSharing, false, "", "", {} },
        { "off, no permission: Sondrevix stays enabled", turnOff, false, ready, sharing, 12, startsSharing, false, "", "", { request } },
        { "Configure while on: disabled, then enabled again", configureWhileOn, true, ready, sharing, 13, leavesSharingOff, false, "options, 13", "off,on", {} },
        { "Configure while on, no permission: asked twice", configureWhileOn, false, ready, sharing, 13, fails, false, "", "", { request, request } },
        { "Configure, fresh system", configureWhileOff, true, fresh, {}, 14, leavesSharingOff, false, "options, above 13", "on", {} },
        { "Configure, no system version", configureWhileOff, true, ready, {}, std::nullopt, fails, false, "options, below 13", "on", { "Applescript Error: 510" } },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.what);
        NetworkSimulation sim (row.services, "[]", row.nat);
        sim.makeNetworksetupFail (row.refused);
        ScriptedEngine engine;
        engine.answer = [&] (const juce::String&)
        {
            if (row.script == startsSharing)
                sim.setNatValue (":NAT:Enabled", 1);

            return row.script == fails ? failure (510, "System Settings window did not open in time,") : success;
        };
        sx::platform::setAccessibilityTrustedOverride (row.permission);
        sx::platform::setSystemMajorVersionOverride (row.version);

        juce::ToggleButton hotspotSwitch;
        WiFiDirect::HotspotFlows flows (hotspotSwitch);
        hotspotSwitch.onClick = [&] { flows.switchClicked(); };
        hotspotSwitch.setToggleState (row.event == turnOff || row.event == configureWhileOn, juce::dontSendNotification);

        if (row.event == turnOn || row.event == turnOff)
            hotspotSwitch.setToggleState (row.event == turnOn, juce::sendNotificationSync);   // as a click: toggled, then handled
        else
            flows.configureClicked();

        juce::StringArray scripts, enabled, titles;

        for (const auto& source : engine.sources)
            for (const auto& [text, name] : scriptNames)
                if (source == text)
                    scripts.add (name);

        for (const auto& line : juce::StringArray::fromLines (sim.commands()))
            if (line.startsWith ("networksetup -setnetworkserviceenabled Sondrevix "))
                enabled.add (line.fromLastOccurrenceOf (" ", false, false));

        for (auto* box : boxes())
            titles.add (box->getName());

        EXPECT_EQ (hotspotSwitch.getToggleState(), row.on);
        EXPECT_EQ (scripts.joinIntoString (", ") + " / " + enabled.joinIntoString (","), juce::String (row.scripts) + " / " + row.enabled);
        EXPECT_EQ (titles, row.boxes);

        for (const auto& title : titles)
            press (title, title == request ? "Not Now" : "Ignore");
    }

    sx::platform::setAccessibilityTrustedOverride (std::nullopt);
    sx::platform::setSystemMajorVersionOverride (std::nullopt);
}
