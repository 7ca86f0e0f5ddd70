#pragma once

#include "app/Application.h"
#include "tests/support/InMemoryMidiPorts.h"
#include "ui/MainComponent.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

namespace sx::test
{

/** A computer with a scripted name and address list; broadcasts go nowhere but loopback. */
struct ScriptedNetwork
{
    struct State
    {
        juce::CriticalSection lock;
        juce::String computerName { "Studio-Mac" };
        juce::Array<juce::IPAddress> addresses { juce::IPAddress ("127.0.0.1"), juce::IPAddress ("192.168.1.20") };
        std::atomic<int> listings { 0 };

        void setAddresses (std::initializer_list<const char*> list)
        {
            const juce::ScopedLock sl (lock);
            addresses.clearQuick();

            for (auto* text : list)
                addresses.add (juce::IPAddress (text));
        }
    };

    struct Environment : NetworkEnvironment
    {
        explicit Environment (std::shared_ptr<State> s) : state (std::move (s)) {}

        juce::String getComputerName() override                 { const juce::ScopedLock sl (state->lock); return state->computerName; }
        juce::Array<juce::IPAddress> getIPv4Addresses() override { ++state->listings; const juce::ScopedLock sl (state->lock); return state->addresses; }
        juce::IPAddress getInterfaceBroadcastAddress (const juce::IPAddress&) override { return juce::IPAddress::local(); }

        std::shared_ptr<State> state;
    };

    std::shared_ptr<State> state = std::make_shared<State>();
};

/*  Stand-ins for the system tools the component runs through zsh: nmcli names the
    Wi-Fi network, and with a hotspot name networksetup and PlistBuddy report an
    active hotspot. PlistBuddy is called by absolute path, so the .zshenv in ZDOTDIR
    defines both as functions, which zsh finds before paths; without a hotspot it is
    empty, which also keeps the user's own out, and networksetup is not found.
*/
class SystemTools
{
public:
    explicit SystemTools (const juce::String& wifiName, const juce::String& hotspotName = {})
    {
        bin.createDirectory();
        write ("nmcli", wifiName.isEmpty() ? "exit 0" : "echo 'yes:" + wifiName + "'");
        write ("iwgetid", "exit 1");

        juce::String zshenv;

        if (hotspotName.isNotEmpty())
        {
            // Internet Sharing from the loopback service to en0, that service enabled,
            // and the hotspot's name in the Wi-Fi settings.
            zshenv = "function networksetup { [[ \"$*\" == '-getnetworkserviceenabled Sondrevix' ]] && echo Enabled }\n"
                     "function /usr/libexec/PlistBuddy {\n"
                     "  case \"$2\" in\n"
                     "    'Print :NAT:Enabled') echo 1 ;;\n"
                     "    'Print :NAT:PrimaryInterface:Device') echo lo0 ;;\n"
                     "    'Print :NAT:PrimaryInterface:PrimaryUserReadable') echo Sondrevix ;;\n"
                     "    'Print :NAT:SharingDevices') printf 'Array {\\n    en0\\n}\\n' ;;\n"
                     "    'Print :InternetSharing:SSID') echo '" + hotspotName + "' ;;\n"
                     "    *) echo \"Print: Entry, \\\"${2#Print }\\\", Does Not Exist\"; return 1 ;;\n"
                     "  esac\n"
                     "}\n";
        }

        folder.getChildFile (".zshenv").replaceWithText (zshenv, false, false, "\n");

        ::setenv ("PATH", (bin.getFullPathName() + ":/usr/bin:/bin").toRawUTF8(), 1);
        ::setenv ("ZDOTDIR", folder.getFullPathName().toRawUTF8(), 1);
    }

    ~SystemTools()
    {
        ::setenv ("PATH", oldPath.toRawUTF8(), 1);
        oldZdotdir.isEmpty() ? ::unsetenv ("ZDOTDIR") : ::setenv ("ZDOTDIR", oldZdotdir.toRawUTF8(), 1);
        folder.deleteRecursively();
    }

private:
    void write (const juce::String& name, const juce::String& body)
    {
        const auto file = bin.getChildFile (name);
        file.replaceWithText ("#!/bin/sh\n" + body + "\n", false, false, "\n");
        file.setExecutePermission (true);
    }

    const juce::File folder { juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getNonexistentChildFile ("sx-main-tools-" + juce::String (::getpid()), {}, false) };
    const juce::File bin { folder.getChildFile ("bin") };
    const juce::String oldPath { juce::SystemStats::getEnvironmentVariable ("PATH", {}) };
    const juce::String oldZdotdir { juce::SystemStats::getEnvironmentVariable ("ZDOTDIR", {}) };
};

/** A main component on in-memory MIDI, a scripted network and a settings file of its own. */
struct MainRig
{
    explicit MainRig (const juce::StringPairArray& storedValues = {})
    {
        if (storedValues.size() > 0)
        {
            auto stored = reopenSettings();

            for (const auto& key : storedValues.getAllKeys())
                stored->setValue (key, storedValues[key]);
        }

        properties = reopenSettings();
    }

    ~MainRig()
    {
        main.reset();
        properties.reset();
        settingsFile.deleteFile();
    }

    MainComponent& start()
    {
        MainComponent::Environment environment;
        environment.midiPorts = &ports;
        environment.makeNetworkEnvironment = [s = network.state] { return std::make_unique<ScriptedNetwork::Environment> (s); };
        main = std::make_unique<MainComponent> (properties.get(), &commands, environment);
        return *main;
    }

    /** Destroys the component and reads back what reached the disk. */
    std::unique_ptr<juce::PropertiesFile> quit()
    {
        main.reset();
        return reopenSettings();
    }

    std::unique_ptr<juce::PropertiesFile> reopenSettings() const
    {
        return std::make_unique<juce::PropertiesFile> (settingsFile, Application::getSettingsOptions());
    }

    const juce::File settingsFile { juce::File::getSpecialLocation (juce::File::tempDirectory)
                                      .getNonexistentChildFile ("sx-main-settings-" + juce::String (::getpid()), ".settings", false) };
    /** Replaces the tool stand-ins; the old ones go first, so that they put back the
        environment before the new ones change it. */
    void useTools (const juce::String& wifiName, const juce::String& hotspotName = {})
    {
        tools.reset();
        tools = std::make_unique<SystemTools> (wifiName, hotspotName);
    }

    std::unique_ptr<SystemTools> tools = std::make_unique<SystemTools> ("HomeNet");
    InMemoryMidiPortSystem ports;
    ScriptedNetwork network;
    std::unique_ptr<juce::PropertiesFile> properties;
    juce::ApplicationCommandManager commands;
    std::unique_ptr<MainComponent> main;
};

/** A UDP port nobody holds right now. */
inline int findFreePort()
{
    juce::DatagramSocket probe (false);
    probe.bindToPort (0);
    return probe.getBoundPort();
}

/** Another process holding a UDP port on every interface, without address reuse. */
class PortHolder
{
public:
    explicit PortHolder (int port)
    {
        const juce::String script ("import socket,sys,time\n"
                                   "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                                   "s.bind(('0.0.0.0'," + juce::String (port) + "))\n"
                                   "print('held',flush=True)\n"
                                   "time.sleep(120)\n");
        char reply[5] = {};
        holding = process.start (juce::StringArray { "/usr/bin/python3", "-c", script }, juce::ChildProcess::wantStdOut)
               && process.readProcessOutput (reply, 5) == 5
               && juce::String (reply, 4) == "held";
    }

    ~PortHolder()   { release(); }

    bool isHolding() const noexcept  { return holding; }

    void release()
    {
        process.kill();
        process.waitForProcessToFinish (5000);
        holding = false;
    }

private:
    juce::ChildProcess process;
    bool holding = false;
};

} // namespace sx::test
