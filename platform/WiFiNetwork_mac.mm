// The macOS side of WiFiNetwork.h, built on macOS only (Objective-C++, CoreWLAN).
#include "platform/WiFiNetwork.h"

#import <CoreWLAN/CoreWLAN.h>

namespace sx::platform
{

juce::String getCurrentWiFiNetworkName()
{
    @autoreleasepool
    {
        NSString* ssid = [[CWWiFiClient sharedWiFiClient] interface].ssid;
        return ssid != nil ? juce::String::fromUTF8 ([ssid UTF8String]) : juce::String();
    }
}

} // namespace sx::platform
