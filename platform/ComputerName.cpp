#include "platform/ComputerName.h"

namespace sx::platform
{

juce::String withoutLocalDomain (const juce::String& hostName)
{
    return hostName.upToLastOccurrenceOf (".local", false, true);
}

juce::String getComputerName()
{
   #if JUCE_MAC
    return juce::SystemStats::getComputerName();
   #else
    return withoutLocalDomain (juce::SystemStats::getComputerName());
   #endif
}

} // namespace sx::platform
