#include "app/app.h"

#include "platform/platform.h"
#include "state/text_file.h"

namespace rv {

bool isPanelCommandLine(std::string_view commandLine) {
    return commandLine.find("--child") != std::string_view::npos;
}

std::string pagePath() {
    return exeFolder() + plat::pathSeparator + "ui" + plat::pathSeparator + "index.html";
}

std::optional<std::string> loadPage(const std::string& path) { return readTextFile(path); }

int ravelinMain(const std::string& commandLine) {
    bool comInitialised = plat::initProcess();
    int code = isPanelCommandLine(commandLine) ? runPanelInstance(commandLine) : runMainInstance();
    plat::endProcess(comInitialised);
    return code;
}

}  // namespace rv
