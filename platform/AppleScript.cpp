#include "platform/AppleScript.h"

namespace sx::platform
{
namespace
{
    std::function<AppleScriptOutcome (const juce::String&)>& testEngine()
    {
        static std::function<AppleScriptOutcome (const juce::String&)> engine;
        return engine;
    }
}

AppleScriptOutcome runAppleScript (const juce::String& source)
{
    if (const auto& engine = testEngine())
        return engine (source);

    return runSystemAppleScript (source);
}

void setAppleScriptEngine (std::function<AppleScriptOutcome (const juce::String&)> engine)
{
    testEngine() = std::move (engine);
}

// macOS: see AppleScript_mac.mm.
#if ! JUCE_MAC
AppleScriptOutcome runSystemAppleScript (const juce::String&)
{
    return { false, appleScriptUnavailableErrorNumber, "AppleScript is not available on this system" };
}
#endif

} // namespace sx::platform
