#include "platform/SystemURL.h"

namespace sx::platform
{
namespace
{
    std::function<void (const juce::String&)>& testOpener()
    {
        static std::function<void (const juce::String&)> opener;
        return opener;
    }
}

void openSystemURL (const juce::String& address)
{
    if (const auto& opener = testOpener())
        opener (address);
    else
        openSystemURLWithSystem (address);
}

void setSystemURLOpener (std::function<void (const juce::String&)> opener)
{
    testOpener() = std::move (opener);
}

// macOS: see SystemURL_mac.mm.
#if ! JUCE_MAC
void openSystemURLWithSystem (const juce::String&)
{
}
#endif

} // namespace sx::platform
