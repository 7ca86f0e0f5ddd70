#include "platform/WiFiNetwork.h"

// macOS: see WiFiNetwork_mac.mm.
#if ! JUCE_MAC

#include "hotspot/ShellCommandRunner.h"

namespace sx::platform
{
namespace
{
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
        // The C locale keeps "yes" untranslated; "--rescan no" answers from what the
        // daemon knows instead of scanning for seconds on the caller's thread.
        const auto result = macOS::runShellCommand ("LC_ALL=C nmcli -t -f active,ssid dev wifi list --rescan no");

        if (result.exitCode != 0)
            return {};

        for (const auto& line : juce::StringArray::fromLines (result.output))
            if (line.startsWith ("yes:"))
                if (auto name = unescapeTerseField (line.getCharPointer() + 4); name.isNotEmpty())
                    return name;

        return {};
    }

    juce::String askWirelessTools()
    {
        // Exits non-zero when not associated; the output then holds only complaints.
        const auto result = macOS::runShellCommand ("iwgetid -r");
        return result.exitCode == 0 ? result.output : juce::String();
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
