#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace WiFiDirect
{
/*  What the hotspot switch and the "Configure" button do when clicked.

    Both handlers run on the message thread and block it until they are done,
    command by command and script by script; a script can wait minutes for the
    system's windows and for the user. They show no message of their own: the user
    sees the Accessibility request, a failing script's error box, and the switch
    flipping back off. Nothing that succeeded before a failure is undone; the next
    attempt starts again from the tests.
*/
class HotspotFlows final
{
public:
    /** The switch must outlive this object, and its clicks must toggle it. */
    explicit HotspotFlows (juce::Button& hotspotSwitch);

    /** The switch's click handler; the click has already toggled it. On turns the
        hotspot on, setting up the loopback services and Internet Sharing as needed;
        off disables serviceName and leaves Internet Sharing's settings alone. */
    void switchClicked();

    /** The "Configure" button's click handler: turns the switch off (its handler
        runs at once), sets up the loopback services, enables serviceName and opens
        the system's Wi-Fi options for the hotspot, with Internet Sharing left off. */
    void configureClicked();

private:
    void switchOffQuietly();

    juce::Button& hotspotSwitch;

    JUCE_DECLARE_NON_COPYABLE (HotspotFlows)
};
}
