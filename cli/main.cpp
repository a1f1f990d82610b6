// trakoni-cli: the imaging engine on the command line. Results go to standard
// output; messages, the progress line and summaries to standard error.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/ConsoleMessages.h"

int main(int argc, char** argv)
{
    // For the program's whole life: the engine never shows a window.
    ConsoleMessages console;
    const ScopedErrorMessagesOverride useConsole(console);

    Arguments arguments;
    const std::string wrong =
        ParseArguments(std::vector<std::string>(argv + 1, argv + argc), arguments);
    if (!wrong.empty()) {
        std::fprintf(stderr, "trakoni-cli: %s\nTry 'trakoni-cli --help' for more information.\n",
                     wrong.c_str());
        return ExitStatus::Usage;
    }
    return RunCommand(arguments);
}
