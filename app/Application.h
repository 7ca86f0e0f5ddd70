#pragma once

#include "hotspot/MakerContact.h"
#include "platform/TerminationSignals.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The application object: owns the settings file, the command manager and the one window. */
class Application final : public juce::JUCEApplication
{
public:
    class MainWindow;

    Application();
    ~Application() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void systemRequestedQuit() override;

    /** Tests reach the running application's parts through these. */
    MainWindow* getMainWindow() const noexcept                          { return mainWindow.get(); }
    juce::ApplicationCommandManager* getCommandManager() const noexcept { return commandManager.get(); }
    juce::PropertiesFile* getProperties() const noexcept                { return properties.get(); }

    /** The options the settings file is opened with. */
    static juce::PropertiesFile::Options getSettingsOptions();

private:
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<juce::ApplicationCommandManager> commandManager;
    std::unique_ptr<juce::PropertiesFile> properties;

    // From the start of initialise to the start of shutdown.
    std::unique_ptr<sx::platform::TerminationSignalHandler> terminationSignals;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Application)
};

/** The one window: holds the main component, handles the window and help
    commands, turns its close button into a quit request and keeps its place
    and size in the settings file.
*/
class Application::MainWindow final : public juce::DocumentWindow,
                                      public juce::ApplicationCommandTarget
{
public:
    enum CommandIDs : juce::CommandID
    {
        minimize   = 2,
        zoom       = 3,
        getSupport = 4
    };

    MainWindow (const juce::String& name, Application& owner);
    ~MainWindow() override;

    void closeButtonPressed() override;

    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands (juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform (const juce::ApplicationCommandTarget::InvocationInfo& info) override;

    void moved() override;
    void resized() override;
    void paintOverChildren (juce::Graphics& g) override;

    /** The maker's support web page that Get Support opens. */
    static constexpr const char* supportPageAddress = sx::maker::supportPageAddress;

private:
    /*  The framework counts a window's resize limits with its native frame: it adds the frame to
        the bounds that it checks. Ours are for the window's content, whatever frame the desktop
        draws or none, so the frame that the window knows is added to them.
    */
    struct ContentSizeLimits final : public juce::ComponentBoundsConstrainer
    {
        ContentSizeLimits (int minWidth, int minHeight, int maxWidth, int maxHeight);

        void followFrame (juce::BorderSize<int> frame);

        const int minWidth, minHeight, maxWidth, maxHeight;
    };

    void keepNativeSizeLimits();
    void forgetRestoredNormalStateOnceNormal();

    Application& app;
    juce::ApplicationCommandManager& commandManager;
    ContentSizeLimits sizeLimits { 400, 600, 400, 3000 };

    // Set while a window restored into full screen has not been in its normal state since: what the
    // framework would store for it then is wrong (see the constructor).
    juce::String restoredNormalState;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
