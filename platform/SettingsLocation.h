#pragma once

#include <juce_data_structures/juce_data_structures.h>

namespace sx::platform
{

/** Where the settings file described by these options lives.

    On macOS this is the framework's choice: the folder in ~/Library/<osxLibrarySubFolder>.
    Elsewhere the folder goes in the user's configuration folder, ~/.config,
    rather than straight into the home directory as the framework would put it.
*/
juce::File getSettingsFile (const juce::PropertiesFile::Options& options);

} // namespace sx::platform
