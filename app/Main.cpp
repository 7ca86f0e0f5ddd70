#include "app/Application.h"
#include "platform/GraphicalDisplay.h"
#include "platform/StandardDescriptors.h"
#include "platform/TerminationSignals.h"

#include <cstdio>

JUCE_CREATE_APPLICATION_DEFINE (Application)

// The framework's own entry point, with three things done before the framework begins.
extern "C" int main (int argc, char* argv[])
{
    sx::platform::openMissingStandardDescriptors();

    // Before the framework's start-up replaces an ignored SIGINT with a handler of its own.
    sx::platform::noteEndSignalsIgnoredAtStart();

   #if ! JUCE_MAC
    // The framework's start-up does not survive a missing X display, so that case
    // is told plainly, and as a failure.
    if (! sx::platform::isGraphicalDisplayAvailable())
    {
        std::fputs ("VADizudiv needs a graphical display, and none could be opened (is DISPLAY set to a running X server?)\n", stderr);
        return 1;
    }
   #endif

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
