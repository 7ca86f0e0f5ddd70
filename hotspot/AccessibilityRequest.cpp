#include "hotspot/AccessibilityRequest.h"

#include "platform/MessageBox.h"
#include "platform/SystemURL.h"

namespace WiFiDirect::macOS
{

void LaunchAccessibilityRequestWindow()
{
    sx::platform::showMessageBoxAsync (juce::MessageBoxOptions()
                                           .withIconType (juce::MessageBoxIconType::WarningIcon)
                                           .withTitle ("Turn On Accessibility")
                                           .withMessage ("To use the Wi-Fi Direct Hotspot feature of VADizudiv, select the VADizudiv "
                                                         "checkbox in Security & Privacy > Accessibility.")
                                           .withButton ("Turn On Accessibility")
                                           .withButton ("Not Now"),
                                       [] (int pressedButton)
                                       {
                                           if (pressedButton == 0)
                                               sx::platform::openSystemURL ("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
                                       });
}

}
