#include "app/Application.h"
#include "platform/GraphicalDisplay.h"

#include <cstdio>

#if JUCE_MAC

START_JUCE_APPLICATION (Application)

#else

JUCE_CREATE_APPLICATION_DEFINE (Application)

// The framework's start-up does not survive a missing X display, so that case
// is told plainly, and as a failure, before the framework begins.
extern "C" int main (int argc, char* argv[])
{
    if (! sx::platform::isGraphicalDisplayAvailable())
    {
        std::fputs ("VADizudiv needs a graphical display, and none could be opened (is DISPLAY set to a running X server?)\n", stderr);
        return 1;
    }

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}

#endif
