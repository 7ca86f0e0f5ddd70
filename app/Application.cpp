#include "Application.h"

#include "app/SettingsFile.h"
#include "platform/DesktopWindow.h"
#include "platform/MainMenu.h"
#include "platform/SettingsLocation.h"
#include "platform/WebBrowser.h"
#include "ui/MainComponent.h"

#include <cstdio>

//==============================================================================
Application::Application() = default;

// By the time the framework deletes the application, shutdown has already
// deleted the window; the settings file then goes first, then the command manager.
Application::~Application() = default;

const juce::String Application::getApplicationName()    { return "VADizudiv"; }
const juce::String Application::getApplicationVersion() { return SX_APPLICATION_VERSION; }

juce::PropertiesFile::Options Application::getSettingsOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName          = "VADizudiv";
    options.filenameSuffix           = ".settings";
    options.folderName               = "Sondrevix";
    options.osxLibrarySubFolder      = "Application Support";
    options.commonToAllUsers         = false;
    options.ignoreCaseOfKeyNames     = false;
    options.doNotSave                = false;
    options.millisecondsBeforeSaving = 0;  // write every change at once, so a crash loses nothing
    options.storageFormat            = juce::PropertiesFile::storeAsXML;
    options.processLock              = nullptr;
    return options;
}

void Application::initialise (const juce::String&)
{
    // Ended by kill, a logout or a closed terminal, the application quits as from its
    // window, so that what changed in this run is stored.
    terminationSignals = std::make_unique<sx::platform::TerminationSignalHandler> ([this] { systemRequestedQuit(); });

    const auto options = getSettingsOptions();
    const auto printLine = [] (const juce::String& line) { std::fprintf (stderr, "%s\n", line.toRawUTF8()); };
    auto settings = SettingsFile::open (sx::platform::getSettingsFile (options), options, printLine);

    if (settings.problem.isNotEmpty())
        printLine (settings.problem);

    properties = std::move (settings.properties);
    commandManager = std::make_unique<juce::ApplicationCommandManager>();
    mainWindow = std::make_unique<MainWindow> (getApplicationName(), *this);
}

void Application::systemRequestedQuit()
{
    // From here on an end signal changes nothing: what it would ask for is under way.
    if (terminationSignals != nullptr)
        terminationSignals->absorbFurtherSignals();

    quit();
}

void Application::shutdown()
{
    // Gone, it absorbs end signals until the process has exited.
    terminationSignals.reset();

    mainWindow.reset();

    // A write that failed while the window went is tried once more here.
    if (properties != nullptr)
        properties->saveIfNeeded();
}

//==============================================================================
Application::MainWindow::MainWindow (const juce::String& name, Application& owner)
    : juce::DocumentWindow (name,
                            juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
                            juce::DocumentWindow::allButtons,
                            ! sx::platform::showsHiddenWindowsWhenRecreated()),
      app (owner),
      commandManager (*owner.commandManager)
{
    addKeyListener (commandManager.getKeyMappings());

    commandManager.registerAllCommandsForTarget (this);
    commandManager.setFirstCommandTarget (this);
    commandManager.getKeyMappings()->resetToDefaultMappings();

    setUsingNativeTitleBar (true);
    setContentOwned (new MainComponent (app.properties.get(), &commandManager), true);
    sx::platform::showMainMenuInWindow (this);

    setResizable (true, false);
    setConstrainer (&sizeLimits);
    setBoundsConstrained (getBounds());

    // The restore below needs the native window (its frame, full screen).
    if (! isOnDesktop())
        addToDesktop();

    const auto windowState = app.properties->getValue ("windowState", {});

    if (windowState.isNotEmpty())
    {
        if (windowState.startsWith ("fs "))
        {
            // Until the window manager has framed the window, which it does only once the window
            // shows, the X11 peer knows no frame; the framework then moves the window by the frame
            // stored with the state, so that the frame rather than the content lands where the
            // content was. In the normal state the window manager's placement soon brings the
            // bounds back, but a window that goes straight to full screen keeps the moved ones as
            // its normal bounds, and would store them, each run one frame further up and left.
            // So its normal state is kept as stored until the window has been in it.
            const auto normalState = windowState.substring (3);
            const auto frame = normalState.fromFirstOccurrenceOf (" frame ", true, false);

            // Also restored first because the framework takes the normal bounds that it keeps
            // beside a full-screen state from where the window is before the restore.
            restoreWindowStateFromString (normalState.dropLastCharacters (frame.length()));
            restoredNormalState = getBounds().toString() + frame;
        }

        restoreWindowStateFromString (windowState);
    }
    else
        centreWithSize (400, 650);

    setVisible (true);

    // The moves above left the window manager without the limits: one that makes the window full
    // screen as it maps it would make it as wide as the screen.
    keepNativeSizeLimits();
}

Application::MainWindow::~MainWindow()
{
    const auto stillAsRestored = restoredNormalState.isNotEmpty() && isFullScreen();
    app.properties->setValue ("windowState", stillAsRestored ? "fs " + restoredNormalState : getWindowStateAsString());

    // The menu bar that the window may hold refers to the main component's menus,
    // which go with the content in the base destructor.
    sx::platform::showMainMenuInWindow (nullptr);
}

void Application::MainWindow::moved()
{
    DocumentWindow::moved();
    keepNativeSizeLimits();
    forgetRestoredNormalStateOnceNormal();
}

void Application::MainWindow::resized()
{
    DocumentWindow::resized();
    keepNativeSizeLimits();
    forgetRestoredNormalStateOnceNormal();
}

// Called wherever the framework may have learnt the window's frame or left the window manager
// without the limits: after the window moved or resized, and after the framework painted it.
void Application::MainWindow::keepNativeSizeLimits()
{
    const auto* peer = getPeer();
    const auto frame = peer != nullptr ? peer->getFrameSizeIfPresent() : juce::ComponentPeer::OptionalBorderSize();
    sizeLimits.followFrame (frame ? *frame : juce::BorderSize<int>());
    sx::platform::keepNativeSizeLimits (*this, sizeLimits.minWidth, sizeLimits.minHeight, sizeLimits.maxWidth, sizeLimits.maxHeight);
}

void Application::MainWindow::paintOverChildren (juce::Graphics& g)
{
    DocumentWindow::paintOverChildren (g);
    keepNativeSizeLimits();
}

void Application::MainWindow::forgetRestoredNormalStateOnceNormal()
{
    // Hidden or minimised, the window is not placed by the window manager.
    if (isShowing() && ! isFullScreen())
        restoredNormalState.clear();
}

Application::MainWindow::ContentSizeLimits::ContentSizeLimits (int minimumWidth, int minimumHeight, int maximumWidth, int maximumHeight)
    : minWidth (minimumWidth), minHeight (minimumHeight), maxWidth (maximumWidth), maxHeight (maximumHeight)
{
    // As the framework's own limits keep a window: its top on the screen, and a grip of the rest.
    setMinimumOnscreenAmounts (0x10000, 16, 24, 16);
    followFrame ({});
}

void Application::MainWindow::ContentSizeLimits::followFrame (juce::BorderSize<int> frame)
{
    setSizeLimits (minWidth + frame.getLeftAndRight(), minHeight + frame.getTopAndBottom(),
                   maxWidth + frame.getLeftAndRight(), maxHeight + frame.getTopAndBottom());
}

void Application::MainWindow::closeButtonPressed()
{
    app.systemRequestedQuit();
}

juce::ApplicationCommandTarget* Application::MainWindow::getNextCommandTarget()
{
    return nullptr;
}

void Application::MainWindow::getAllCommands (juce::Array<juce::CommandID>& commands)
{
    commands.add (zoom);
    commands.add (minimize);
    commands.add (getSupport);
}

void Application::MainWindow::getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result)
{
    switch (commandID)
    {
        case zoom:
            result.setInfo ("Zoom", "Zooms the sizing of the window to fit the entire screen", "Window", 0);
            result.addDefaultKeypress ('=', juce::ModifierKeys::commandModifier | juce::ModifierKeys::altModifier);
            break;

        case minimize:
            result.setInfo ("Minimize", "Minimizes the window", "Window", 0);
            result.addDefaultKeypress ('m', juce::ModifierKeys::commandModifier);
            break;

        case getSupport:
            result.setInfo ("Get Support", "Go to customer support web page in browser", "Help", 0);
            break;

        default:
            break;
    }
}

bool Application::MainWindow::perform (const juce::ApplicationCommandTarget::InvocationInfo& info)
{
    switch (info.commandID)
    {
        case minimize:
            setMinimised (true);
            return true;

        case zoom:
            setFullScreen (true);
            return true;

        case getSupport:
            // Nothing to report when no browser opens: the user sees that no page came up.
            sx::platform::openWebPage (supportPageAddress);
            return true;

        default:
            return false;
    }
}
