// The macOS side of AppleScript.h, built on macOS only (Objective-C++, Foundation).
#include "platform/AppleScript.h"

#import <Foundation/Foundation.h>

namespace sx::platform
{

AppleScriptOutcome runSystemAppleScript (const juce::String& source)
{
    @autoreleasepool
    {
        NSAppleScript* script = [[NSAppleScript alloc] initWithSource: [NSString stringWithUTF8String: source.toRawUTF8()]];
        NSDictionary* errorInfo = nil;

        // Compiles as well as runs; the result descriptor is autoreleased and only tested here.
        const bool succeeded = [script executeAndReturnError: &errorInfo] != nil;

       #if ! __has_feature (objc_arc)
        [script release];
       #endif

        if (succeeded)
            return { true, 0, {} };

        // Either entry may be missing; both are read before the pool goes.
        id number  = [errorInfo objectForKey: NSAppleScriptErrorNumber];
        id message = [errorInfo objectForKey: NSAppleScriptErrorMessage];

        return { false,
                 [number isKindOfClass: [NSNumber class]] ? [(NSNumber*) number intValue] : 0,
                 [message isKindOfClass: [NSString class]] ? juce::String::fromUTF8 ([(NSString*) message UTF8String]) : juce::String() };
    }
}

} // namespace sx::platform
