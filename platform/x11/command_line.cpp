// The command line on Linux: the arguments after the program name joined by blanks.
#include <string>

#include "platform/platform.h"

namespace plat {

void prepareProcess() {}

std::string commandLineArguments(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return commandLine;
}

}  // namespace plat
