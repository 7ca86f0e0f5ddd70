#include "platform/MailComposer.h"

#include "platform/ChildPrograms.h"

namespace sx::platform
{

void composeMail (const juce::String& subject, const juce::String& body, const juce::String& recipient)
{
   #if JUCE_MAC
    juce::ignoreUnused (subject, body, recipient);
   #else
    // A mail program may stay in the foreground for as long as the user writes, so it
    // is started without waiting for it.
    launchProgram ({ "xdg-email", "--subject", subject, "--body", body, recipient });
   #endif
}

} // namespace sx::platform
