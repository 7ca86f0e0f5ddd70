#include "SettingsLocation.h"

namespace sx::platform
{

juce::File getSettingsFile (const juce::PropertiesFile::Options& options)
{
   #if JUCE_MAC
    return options.getDefaultFile();
   #else
    return juce::File::getSpecialLocation (juce::File::userHomeDirectory)
               .getChildFile (".config")
               .getChildFile (options.folderName.isNotEmpty() ? options.folderName : options.applicationName)
               .getChildFile (options.applicationName + options.filenameSuffix);
   #endif
}

} // namespace sx::platform
