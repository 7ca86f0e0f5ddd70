// The macOS side of SystemURL.h, built on macOS only (Objective-C++, AppKit).
#include "platform/SystemURL.h"

#import <AppKit/AppKit.h>

namespace sx::platform
{

void openSystemURLWithSystem (const juce::String& address)
{
    @autoreleasepool
    {
        NSURL* url = [NSURL URLWithString: [NSString stringWithUTF8String: address.toRawUTF8()]];

        // A text that is no URL gives nil; there is then nothing to open.
        if (url != nil)
            [[NSWorkspace sharedWorkspace] openURL: url];
    }
}

} // namespace sx::platform
