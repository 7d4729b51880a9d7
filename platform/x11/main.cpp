// Linux entry point: the command line is the arguments after the program name joined by blanks.
#include <string>

#include "app/app.h"

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return rv::ravelinMain(commandLine);
}
