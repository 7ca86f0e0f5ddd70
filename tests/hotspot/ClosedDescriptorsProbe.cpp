// Runs one command through the shell runner and writes the result to the file named
// by its argument. Started with descriptors 0 to 2 closed, as an application may be.
#include "hotspot/ShellCommandRunner.h"

#include <fstream>

int main (int argc, char** argv)
{
    if (argc != 2)
        return 2;

    const auto result = macOS::runShellCommand ("echo out; echo err >&2");

    // Not through the framework's file stream: it takes descriptor 0, which the
    // report file gets here, for a failed open.
    std::ofstream (argv[1]) << result.exitCode << '|' << result.output;
    return 0;
}
