#include "hotspot/SystemSettingsScripts.h"

#include "SxScripts.h"

namespace WiFiDirect::macOS
{
namespace
{
    struct Variants
    {
        const char* below13;
        int below13Size;
        const char* exactly13;
        int exactly13Size;
        const char* above13;
        int above13Size;

        juce::String choose (std::optional<int> majorVersion) const
        {
            if (! majorVersion.has_value() || *majorVersion < 13)
                return juce::String::fromUTF8 (below13, below13Size);

            if (*majorVersion == 13)
                return juce::String::fromUTF8 (exactly13, exactly13Size);

            return juce::String::fromUTF8 (above13, above13Size);
        }
    };
}

juce::String startInternetSharingScript (std::optional<int> majorVersion)
{
    using namespace SxScripts;
    return Variants { start_internet_sharing_before_13_applescript, start_internet_sharing_before_13_applescriptSize,
                      start_internet_sharing_13_applescript, start_internet_sharing_13_applescriptSize,
                      start_internet_sharing_after_13_applescript, start_internet_sharing_after_13_applescriptSize }
               .choose (majorVersion);
}

juce::String wifiOptionsScript (std::optional<int> majorVersion)
{
    using namespace SxScripts;
    return Variants { wifi_options_before_13_applescript, wifi_options_before_13_applescriptSize,
                      wifi_options_13_applescript, wifi_options_13_applescriptSize,
                      wifi_options_after_13_applescript, wifi_options_after_13_applescriptSize }
               .choose (majorVersion);
}
}
