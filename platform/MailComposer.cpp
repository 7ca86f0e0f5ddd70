#include "platform/MailComposer.h"

#if ! JUCE_MAC
 #include <spawn.h>
 #include <sys/wait.h>
 #include <thread>
 #include <vector>

extern char** environ;
#endif

namespace sx::platform
{

#if JUCE_MAC

void composeMail (const juce::String&, const juce::String&, const juce::String&)
{
}

#else

void composeMail (const juce::String& subject, const juce::String& body, const juce::String& recipient)
{
    const juce::StringArray arguments { "xdg-email", "--subject", subject, "--body", body, recipient };
    std::vector<char*> argv;

    // exec only reads the texts.
    for (const auto& argument : arguments)
        argv.push_back (const_cast<char*> (argument.toRawUTF8()));

    argv.push_back (nullptr);

    pid_t child = 0;

    if (::posix_spawnp (&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return;

    // A mail program may stay in the foreground for as long as the user writes,
    // so the child is collected on a thread of its own rather than waited for here.
    std::thread ([child] { int status = 0; ::waitpid (child, &status, 0); }).detach();
}

#endif

} // namespace sx::platform
