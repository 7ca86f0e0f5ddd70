#include "platform/WiFiNetwork.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

// Each case runs with a PATH holding only its stand-in tools (none: not installed),
// so that the machine's own nmcli or iwgetid never answers.
TEST (WiFiNetworkName, NetworkManagerThenWirelessToolsOrEmpty)
{
    struct Tool { const char* output; int exitCode; };
    const struct { std::optional<Tool> nmcli, iwgetid; const char* expected; } cases[] = {
        { Tool { "no:Neighbour\nyes:Cafe\\: Free Wi-Fi \\\\ 2nd", 0 }, Tool { "Wrong", 0 }, "Cafe: Free Wi-Fi \\ 2nd" },
        { Tool { "Error: NetworkManager is not running.", 8 },         Tool { "Studio Net", 0 }, "Studio Net" },
        { Tool { "no:Neighbour\nno:", 0 },                             Tool { "wlan0: no such device", 255 }, "" },
        { std::nullopt,                                                std::nullopt, "" },
    };

    const juce::String oldPath (std::getenv ("PATH"));

    for (const auto& c : cases)
    {
        const auto folder = juce::File::createTempFile ("fake-tools");
        folder.createDirectory();

        for (const auto& [name, tool] : { std::pair ("nmcli", c.nmcli), std::pair ("iwgetid", c.iwgetid) })
        {
            if (! tool)
                continue;

            // Shell builtins only: PATH holds nothing else.
            const auto file = folder.getChildFile (name);
            file.replaceWithText ("#!/bin/sh\nprintf '%s\\n' '" + juce::String (tool->output) + "'\nexit " + juce::String (tool->exitCode) + "\n", false, false, "\n");
            file.setExecutePermission (true);
        }

        ::setenv ("PATH", folder.getFullPathName().toRawUTF8(), 1);
        EXPECT_EQ (sx::platform::getCurrentWiFiNetworkName(), c.expected) << (c.nmcli ? c.nmcli->output : "no tools");
        ::setenv ("PATH", oldPath.toRawUTF8(), 1);
        folder.deleteRecursively();
    }
}
