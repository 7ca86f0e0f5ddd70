#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>

namespace juce
{
    // The Linux message loop's own dispatch step; declared here so that tests can
    // deliver posted messages without modal loops.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace sx::test
{

/** Delivers everything already posted to the message queue (bounded, never blocks). */
inline void dispatchPostedMessages()
{
    for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {}
}

/** Points HOME at a fresh empty folder for one test, so nothing touches the real one. */
class ScopedHome
{
public:
    ScopedHome()
        : previous (std::getenv ("HOME") != nullptr ? std::getenv ("HOME") : ""),
          home (juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("sx-app-home", {}, false))
    {
        home.createDirectory();
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    }

    ~ScopedHome()
    {
        setenv ("HOME", previous.toRawUTF8(), 1);
        home.deleteRecursively();
    }

    juce::File get() const  { return home; }

private:
    juce::String previous;
    juce::File home;
};

} // namespace sx::test
