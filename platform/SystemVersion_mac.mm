// The macOS side of SystemVersion.h, built on macOS only (Objective-C++, Foundation).
#include "platform/SystemVersion.h"

#import <Foundation/Foundation.h>

namespace sx::platform
{

std::optional<int> getSystemMajorVersionFromSystem()
{
    @autoreleasepool
    {
        NSProcessInfo* info = [NSProcessInfo processInfo];

        if (info == nil)
            return std::nullopt;

        return (int) [info operatingSystemVersion].majorVersion;
    }
}

} // namespace sx::platform
