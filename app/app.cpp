#include "app/app.h"

#include <cstdio>

#include "app/main_window.h"
#include "app/version.h"
#include "platform/platform.h"
#include "state/settings.h"
#include "state/text_file.h"

namespace rv {

bool isPanelCommandLine(std::string_view commandLine) {
    return commandLine.find("--child") != std::string_view::npos;
}

std::string pagePath() {
    return exeFolder() + plat::kPathSeparator + "ui" + plat::kPathSeparator + "index.html";
}

std::optional<std::string> loadPage(const std::string& path) {
    auto page = readTextFile(path);
    if (!page) return page;
    // The page's scripts find the settings table before they run.
    size_t head = page->find("<head>");
    if (head != std::string::npos) page->insert(head + 6, "<script>" + pageSettingsScript() + "</script>");
    return page;
}

std::string versionLine() {
    return std::string("Ravelin ") + RAVELIN_VERSION + "\n";
}

int ravelinMain(const std::string& commandLine) {
    // Answered before anything starts: no window, no second instance's side effects.
    if (commandLine == "--version") {
        const std::string line = versionLine();
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
        return 0;
    }
    minimizedStart = commandLine.find(kMinimizedSwitch) != std::string::npos;
    bool comInitialised = plat::initProcess();
    int code = isPanelCommandLine(commandLine) ? runPanelInstance(commandLine) : runMainInstance();
    plat::endProcess(comInitialised);
    return code;
}

}  // namespace rv
