#pragma once

#include <juce_core/juce_core.h>

namespace sx::platform
{

/** Opens a new message in the desktop's mail program, addressed to the
    recipient with this subject and body, for the user to look over and send.
    Returns at once; nothing is reported back.

    On macOS the caller scripts the Mail application itself, so this does
    nothing there. Elsewhere it starts xdg-email, found through PATH, with the
    texts as separate arguments (no shell sees them); where xdg-email is
    missing or fails, nothing happens.
*/
void composeMail (const juce::String& subject, const juce::String& body, const juce::String& recipient);

} // namespace sx::platform
