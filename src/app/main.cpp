#include "app/shortcuts_command.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace {

void printUsage(std::FILE* to)
{
    std::fputs("usage: hintboard shortcuts (--front | --app NAME | --pid PID) [--all] [--json] [--verbose]\n"
               "       hintboard shortcuts --help\n",
               to);
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments.front() == "shortcuts")
        return hb::app::runShortcutsCommand(std::span(arguments).subspan(1));
    if (arguments.size() == 1 && (arguments.front() == "--help" || arguments.front() == "-h")) {
        printUsage(stdout);
        return 0;
    }
    printUsage(stderr);
    return 2;
}
