// ravelin-cli: commands for the running main instance from a shell, a scheduled task or a key binding
// of the desktop, sent over the panel pipe (bridge/remote_commands.h says the messages). A thin front
// end: it reads the command line, starts the main program when a command needs it and none runs,
// sends one message, waits for the answer and turns it into an exit code and a line of text.
#pragma once

#include <string>
#include <vector>

namespace rv {

enum CliExit : int {
    kCliDone = 0,        // done (or there was nothing to do)
    kCliRefused = 1,     // the program refused; why is on standard error
    kCliBadUsage = 2,    // the command line is wrong
    kCliNoInstance = 3,  // no main instance answered and none could be started
};

// How long a command waits for the main instance's answer, and for one it has started, in ms.
inline constexpr int kCliAnswerMs = 5000;
inline constexpr int kCliStartMs = 10000;
// How long a macro that is to be played may take to load, in ms.
inline constexpr int kCliLoadMs = 60000;

// One command line, read.
struct CliCommand {
    enum class Kind { Help, Version, Message, Status, Diagnose };
    Kind kind = Kind::Help;
    std::string message;         // the pipe message to send (Message and Status)
    bool startsProgram = false;  // with no main instance, one is started for it
    bool showWindow = false;     // --show: a main program started for it shows its window
    std::string problem;         // not empty: the command line is wrong, and why
};
CliCommand parseCliCommand(const std::vector<std::string>& words);

// The help text: every command with an example, and the exit codes.
std::string cliHelpText();

// Runs the command: returns the exit code and leaves what goes to standard output and standard error
// in `out` and `err`.
int runCli(const std::vector<std::string>& words, std::string& out, std::string& err);

// The command line of a main program the client starts: minimized, unless `show`.
std::string mainProgramArguments(bool show);

}  // namespace rv
