#include "platform/WiFiNetwork.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
    /*  A PATH holding only zsh (for the shell runner) and whatever fake tools a test
        writes, so that the machine's own nmcli or iwgetid never answers. */
    class FakeTools
    {
    public:
        FakeTools()
        {
            folder.createDirectory();
            findZsh().createSymbolicLink (folder.getChildFile ("zsh"), true);
            oldPath = std::getenv ("PATH");
            ::setenv ("PATH", folder.getFullPathName().toRawUTF8(), 1);
        }

        ~FakeTools()
        {
            ::setenv ("PATH", oldPath.toRawUTF8(), 1);
            folder.deleteRecursively();
        }

        /** A tool that prints the text and exits with the code. */
        void script (const juce::String& name, const juce::String& output, int exitCode)
        {
            const auto file = folder.getChildFile (name);
            // Only shell builtins: PATH holds nothing else.
            file.replaceWithText ("#!/bin/sh\nprintf '%s\\n' '" + output.replace ("'", "'\\''") + "'\n"
                                  "exit " + juce::String (exitCode) + "\n",
                                  false, false, "\n");
            file.setExecutePermission (true);
        }

    private:
        static juce::File findZsh()
        {
            for (auto path : { "/usr/bin/zsh", "/bin/zsh" })
                if (juce::File (path).existsAsFile())
                    return juce::File (path);

            return {};
        }

        juce::File folder { juce::File::createTempFile ("fake-tools") };
        juce::String oldPath;
    };
}

TEST (WiFiNetworkName, NetworkManagerNamesTheActiveNetwork)
{
    FakeTools tools;
    tools.script ("nmcli", "no:Neighbour\nyes:HomeNet\nno:", 0);
    tools.script ("iwgetid", "WrongAnswer", 0);
    EXPECT_EQ (sx::platform::getCurrentWiFiNetworkName(), "HomeNet");
}

TEST (WiFiNetworkName, EscapedSeparatorsAndSpacesAreKept)
{
    FakeTools tools;
    tools.script ("nmcli", "no:Other\\: net\nyes:Cafe\\: Free Wi-Fi \\\\ 2nd floor", 0);
    EXPECT_EQ (sx::platform::getCurrentWiFiNetworkName(), "Cafe: Free Wi-Fi \\ 2nd floor");
}

TEST (WiFiNetworkName, WirelessToolsAnswerWhenNetworkManagerCannot)
{
    {
        FakeTools tools;    // no NetworkManager at all
        tools.script ("iwgetid", "Studio Net", 0);
        EXPECT_EQ (sx::platform::getCurrentWiFiNetworkName(), "Studio Net");
    }
    {
        FakeTools tools;    // NetworkManager installed but not running
        tools.script ("nmcli", "Error: NetworkManager is not running.", 8);
        tools.script ("iwgetid", "Studio Net", 0);
        EXPECT_EQ (sx::platform::getCurrentWiFiNetworkName(), "Studio Net");
    }
}

TEST (WiFiNetworkName, EmptyWhenNotAssociatedOrNoToolAnswers)
{
    {
        FakeTools tools;    // scanned networks, none active; wireless tools complain
        tools.script ("nmcli", "no:Neighbour\nno:", 0);
        tools.script ("iwgetid", "wlan0: no such device", 255);
        EXPECT_EQ (sx::platform::getCurrentWiFiNetworkName(), "");
    }
    {
        FakeTools tools;    // neither tool installed: only the shell's complaints
        EXPECT_EQ (sx::platform::getCurrentWiFiNetworkName(), "");
    }
}
