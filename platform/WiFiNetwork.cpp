#include "platform/WiFiNetwork.h"

// macOS: see WiFiNetwork_mac.mm.
#if ! JUCE_MAC

#include "platform/ChildPrograms.h"

#include <optional>

namespace sx::platform
{
namespace
{
    /*  Runs a tool found through PATH with these arguments, no shell in between, and
        returns what it printed on standard output and error, trailing white space
        removed, when it exited with status 0; nothing when it is missing or failed. */
    std::optional<juce::String> runTool (const juce::StringArray& arguments)
    {
        const auto run = runProgram (arguments);

        if (run.exitCode != 0)
            return std::nullopt;

        return run.getTrimmedText();
    }

    /*  Terse output escapes the field separator ':' and the escape character itself
        with a backslash; the name is the last field, so it is the rest of the line. */
    juce::String unescapeTerseField (juce::String::CharPointerType text)
    {
        juce::String name;

        while (! text.isEmpty())
        {
            auto c = text.getAndAdvance();

            if (c == '\\' && ! text.isEmpty())
                c = text.getAndAdvance();

            name += juce::String::charToString (c);
        }

        return name;
    }

    juce::String askNetworkManager()
    {
        // The C locale, which env sets for nmcli alone, keeps "yes" untranslated; "--rescan no"
        // answers from what the daemon knows instead of scanning for seconds on the caller's thread.
        const auto output = runTool ({ "/usr/bin/env", "LC_ALL=C", "nmcli", "-t", "-f", "active,ssid",
                                       "dev", "wifi", "list", "--rescan", "no" });

        if (! output.has_value())
            return {};

        for (const auto& line : juce::StringArray::fromLines (*output))
            if (line.startsWith ("yes:"))
                if (auto name = unescapeTerseField (line.getCharPointer() + 4); name.isNotEmpty())
                    return name;

        return {};
    }

    juce::String askWirelessTools()
    {
        // Exits non-zero when not associated; the output then holds only complaints.
        return runTool ({ "iwgetid", "-r" }).value_or (juce::String());
    }
}

juce::String getCurrentWiFiNetworkName()
{
    if (auto name = askNetworkManager(); name.isNotEmpty())
        return name;

    return askWirelessTools();
}

} // namespace sx::platform

#endif
