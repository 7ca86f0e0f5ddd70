#include "platform/WebBrowser.h"

#include "platform/ChildPrograms.h"

namespace sx::platform
{

void openWebPage (const juce::String& address)
{
   #if JUCE_MAC
    juce::URL (address).launchInDefaultBrowser();
   #else
    // The framework's own launcher hands every descriptor of ours to a shell that it
    // never collects: a browser started that way would keep our ports bound.
    launchProgram ({ "xdg-open", address });
   #endif
}

} // namespace sx::platform
