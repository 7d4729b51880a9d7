// The program after the platform's entry point: the choice of run mode and the two run modes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rv {

inline constexpr const char* kMainWindowTitle = "Ravelin (Veltra Edition)";
// The title of the window of the panel named `name`.
inline std::string panelWindowTitle(const std::string& name) {
    return "Ravelin (" + name + ")";
}

// Whole program: initialises the process, runs the main or the panel instance and returns the
// process exit code. `commandLine` is the command line without the program name.
int ravelinMain(const std::string& commandLine);

// What `--version` prints on standard output (the whole command line being "--version"):
// "Ravelin <version>" and a line end.
std::string versionLine();

// A main instance whose command line holds this switch (ravelin-cli starts one so) shows its window
// minimized for that run, whatever startMinimized says; the preference stays as it is.
inline constexpr const char* kMinimizedSwitch = "--minimized";

// A command line containing "--child" anywhere (case-sensitive) starts a panel instance.
bool isPanelCommandLine(std::string_view commandLine);

// The page file: the executable's folder + "ui" + "index.html".
std::string pagePath();
// The page's text (CR LF read as LF), or nothing when the file does not open.
std::optional<std::string> loadPage(const std::string& path);

int runMainInstance();
int runPanelInstance(const std::string& commandLine);

}  // namespace rv
