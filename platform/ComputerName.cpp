#include "platform/ComputerName.h"
#include "platform/WellFormedUTF8.h"

#include <unistd.h>

#include <cstring>

namespace sx::platform
{

juce::String withoutLocalDomain (const juce::String& hostName)
{
    return hostName.upToLastOccurrenceOf (".local", false, true);
}

juce::String getComputerName()
{
    // The framework reads the host name as Latin-1 (every byte a character), so a name
    // holding a non-ASCII letter came out encoded twice.
    char name[256] = {};

    if (::gethostname (name, sizeof (name) - 1) != 0)
        return {};

    const auto size = std::strlen (name);
    const auto hostName = isWellFormedUTF8 (reinterpret_cast<const unsigned char*> (name), size)
                            ? juce::String::fromUTF8 (name, (int) size)
                            : juce::String (juce::CharPointer_ASCII (name));   // byte for character: Latin-1

    return withoutLocalDomain (hostName);
}

} // namespace sx::platform
