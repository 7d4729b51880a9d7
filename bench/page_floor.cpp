// What the browser engine itself costs for a page that shows live figures, with none of the program's
// work: a page of the main window's size, run by the webview library on its own, that either does
// nothing, changes one short text once a second by itself (a repaint), makes one call to the host
// once a second that changes nothing, or is handed one script a second by the host that changes
// nothing. Prints the CPU use of the whole process tree (the browser's processes included) for each:
//   page_floor action=none percent=…
//   page_floor action=repaint percent=…
//   page_floor action=call percent=…
//   page_floor action=eval percent=…
// The real program's own figures (bench/click_timing's idle_cpu_clicking) can be read against these:
// a running clicker's page makes one repaint and takes one hand-over a second.
// Runs on the current X display (Xvfb).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/webview.h"
#include "bench/tree_cpu.h"
#include "platform/platform.h"

namespace {

// A small form like the program's: a heading, a few rows, and the line of figures.
std::string pageFor(const std::string& action) {
    std::string script;
    if (action == "repaint") {
        script = "var n = 0; setInterval(function () { figures.textContent = (++n) + ' clicks'; }, 1000);";
    } else if (action == "call") {
        script = "setInterval(function () { window.constant(); }, 1000);";
    } else {
        script = "function tick() {}";
    }
    std::string rows;
    for (int i = 0; i < 8; ++i)
        rows += "<div class=row><span>Setting " + std::to_string(i) + "</span><b>100 ms</b></div>";
    return "<!doctype html><html><head><style>"
           "body{margin:0;font:13px system-ui,sans-serif;background:#f4f6fb;color:#1d2433}"
           "h1{font-size:15px;margin:12px 16px}"
           ".panel{margin:10px 16px;padding:12px;background:#fff;border:1px solid #dde3ee;border-radius:10px}"
           ".row{display:flex;justify-content:space-between;height:28px;align-items:center}"
           ".line{position:relative;height:18px}#figures{position:absolute;left:0;top:0}"
           "</style></head><body><h1>page_floor</h1><div class=panel>" +
           rows + "<div class=line><span id=figures>0 clicks</span></div></div><script>" + script +
           "</script></body></html>";
}

// The child: the page for `action`, until it is terminated.
int runPage(const std::string& library, const std::string& action) {
    plat::initProcess();  // the program's own browser settings
    std::string error;
    rv::Webview view;
    if (!rv::Webview::loadLibrary(error, library) || !view.create()) {
        std::fprintf(stderr, "page_floor: %s\n", error.empty() ? "no browser window" : error.c_str());
        return 1;
    }
    view.setTitle("page_floor");
    view.setSize(420, 760, rv::SizeHint{});  // no hint (X11 defines None)
    view.bind("constant", [](const std::string&) { return std::string("1"); });
    view.setHtml(pageFor(action));
    std::atomic<bool> running{true};
    std::thread ticker;
    if (action == "eval") {
        ticker = std::thread([&] {
            for (sleep(1); running; sleep(1)) view.dispatch([&view] { view.eval("tick()"); });
        });
    }
    view.run();
    running = false;
    if (ticker.joinable()) ticker.join();
    return 0;
}

void measure(const std::string& self, const std::string& library, const std::string& action) {
    char folder[] = "/tmp/ravelin-page-floor-XXXXXX";
    if (!mkdtemp(folder)) return;
    // The browser's caches and data go to a folder of their own.
    pid_t child = bench::startInFolder(folder, {self, "--page", library, action});
    bench::waitForQuiet(child);
    double percent = bench::treeCpuPercent(child, 60);
    const bool alive = waitpid(child, nullptr, WNOHANG) == 0;
    std::printf("page_floor action=%s percent=%.2f%s\n", action.c_str(), percent,
                alive ? "" : " (the page closed)");
    std::fflush(stdout);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::filesystem::remove_all(folder);
}

}  // namespace

// page_floor [library]: the webview library defaults to the one beside the program (build/linux/).
int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--page") return runPage(argv[2], argv[3]);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "page_floor needs an X display (DISPLAY)\n");
        return 1;
    }
    std::string self = plat::exePath();
    std::string library = self.substr(0, self.rfind('/')) + "/../libwebview.so.0.12";
    if (argc > 1) library = argv[1];
    for (const char* action : {"none", "repaint", "call", "eval"}) measure(self, library, action);
    return 0;
}
