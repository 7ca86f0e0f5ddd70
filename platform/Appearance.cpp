#include "Appearance.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace sx::platform
{

namespace
{
    std::optional<bool>& darkModeOverride()
    {
        static std::optional<bool> value;
        return value;
    }
}

bool isDarkModeActive()
{
    if (const auto& pinned = darkModeOverride())
        return *pinned;

    return juce::Desktop::getInstance().isDarkModeActive();
}

void setDarkModeOverride (std::optional<bool> darkMode)
{
    darkModeOverride() = darkMode;
}

} // namespace sx::platform
