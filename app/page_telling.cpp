#include "app/page_telling.h"

#include <atomic>
#include <string>

#include "app/webview.h"

namespace rv {

namespace {

constexpr const char* kPageChangedScript = "window.ravelinStatusChanged && window.ravelinStatusChanged()";
constexpr const char* kPageUnseenScript = "window.ravelinUnseen && window.ravelinUnseen()";
std::atomic<Webview*> toldView{nullptr};
std::atomic<bool> tellingQueued{false};
std::atomic<bool> handingQueued{false};
std::atomic<bool> unseenQueued{false};
std::atomic<bool> workQueued{false};

// Runs the script `make` gives (none when it gives the empty text) in the told view's page on the
// window thread, unless one queued by the same flag still waits there; the flag is cleared before
// the script is made, so a call made meanwhile queues another.
template <typename Make>
void runOnce(std::atomic<bool>& queued, Make make) {
    Webview* view = toldView.load();
    if (!view || queued.exchange(true)) return;
    view->dispatch([view, &queued, make] {
        queued.store(false);
        std::string script = make();
        if (!script.empty()) view->eval(script);
    });
}

}  // namespace

void setToldView(Webview* view) {
    toldView.store(view);
}

void tellToldView() {
    runOnce(tellingQueued, [] { return std::string(kPageChangedScript); });
}

void handToldView(std::string (*status)()) {
    // The status text is a JSON object, which is also a script expression.
    runOnce(handingQueued, [status] {
        std::string text = status();
        return text.empty() ? text : "window.ravelinStatus && window.ravelinStatus(" + text + ")";
    });
}

void tellToldViewUnseen() {
    runOnce(unseenQueued, [] { return std::string(kPageUnseenScript); });
}

void runOnToldViewThread(void (*work)()) {
    runOnce(workQueued, [work] {
        work();
        return std::string();
    });
}

}  // namespace rv
