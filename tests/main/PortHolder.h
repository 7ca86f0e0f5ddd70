#pragma once

#include <juce_core/juce_core.h>

namespace sx::test
{

/** A UDP port nobody holds right now. */
inline int findFreePort()
{
    juce::DatagramSocket probe (false);
    probe.bindToPort (0);
    return probe.getBoundPort();
}

/** Another process (osc_bind_probe) holding a UDP port on every interface. */
class PortHolder
{
public:
    explicit PortHolder (int port, const char* mode = "app")
    {
        char reply[5] = {};
        holding = process.start (juce::StringArray { SX_OSC_BIND_PROBE, mode, juce::String (port) }, juce::ChildProcess::wantStdOut)
               && process.readProcessOutput (reply, 5) == 5 && juce::String (reply, 4) == "held";
    }

    ~PortHolder()                       { process.kill(); process.waitForProcessToFinish (5000); }

    bool isHolding() const noexcept     { return holding; }

private:
    juce::ChildProcess process;
    bool holding = false;
};

} // namespace sx::test
