#include "hotspot/AppleScriptRunner.h"

#include "hotspot/MakerContact.h"
#include "platform/AppleScript.h"
#include "platform/MailComposer.h"
#include "platform/MessageBox.h"

namespace macOS
{
namespace
{
    constexpr int reportErrorButton = 1;

    /** The text as it may stand between double quotes in an AppleScript source.
        Error messages carry names read from the system, which may hold either
        character; backslashes go first, so that those added for quotes stay single. */
    juce::String quotedForAppleScript (const juce::String& text)
    {
        return "\"" + text.replace ("\\", "\\\\").replace ("\"", "\\\"") + "\"";
    }

    /** Opens a new, visible outgoing message in Mail; the user sends it from there. */
    juce::String makeErrorReportScript (const juce::String& subject, const juce::String& content)
    {
        const juce::StringArray lines {
            "tell application \"Mail\"",
            "set newMessage to make new outgoing message with properties {subject:" + quotedForAppleScript (subject)
                + ", content:" + quotedForAppleScript (content) + " & return & return}",
            "tell newMessage",
            "set visible to true",
            "set sender to \"sdfsdfsdfewf\"",
            "make new to recipient at end of to recipients with properties {address:\"" + juce::String (sx::maker::supportEmailAddress) + "\"}",
            "end tell",
            "end tell"
        };

        return lines.joinIntoString ("\r\n") + "\r\n";
    }

    /** The error box's answer: on "Report Error", the report. It owns copies of
        what it reports, since the box outlives the failed run. */
    struct ErrorReport
    {
        juce::String errorNumberText, errorMessage;

        void operator() (int pressedButton) const
        {
            if (pressedButton != reportErrorButton)
                return;

            const auto subject = "Applescript Error: " + errorNumberText;
            const auto content = "Error Message: " + errorMessage;

            // A report that fails is not reported in turn: neither result is looked at.
            sx::platform::runAppleScript (makeErrorReportScript (subject, content));
            sx::platform::composeMail (subject, content, sx::maker::supportEmailAddress);
        }
    };
}

bool executeAppleScript (const juce::String& source)
{
    const auto outcome = sx::platform::runAppleScript (source);

    if (outcome.succeeded)
        return true;

    const juce::String errorNumberText (outcome.errorNumber);

    sx::platform::showMessageBoxAsync (juce::MessageBoxOptions()
                                           .withIconType (juce::MessageBoxIconType::WarningIcon)
                                           .withTitle ("Applescript Error: " + errorNumberText)
                                           .withMessage ("Please try again. If the error persists, please contact "
                                                         + juce::String (sx::maker::supportEmailAddress) + "\n\n" + outcome.errorMessage)
                                           .withButton ("Ignore")
                                           .withButton ("Report Error"),
                                       ErrorReport { errorNumberText, outcome.errorMessage });
    return false;
}
}
