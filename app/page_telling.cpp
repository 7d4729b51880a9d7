#include "app/page_telling.h"

#include <atomic>

#include "app/webview.h"

namespace rv {

namespace {

constexpr const char* kPageChangedScript = "window.ravelinStatusChanged && window.ravelinStatusChanged()";
std::atomic<Webview*> toldView{nullptr};
std::atomic<bool> tellingQueued{false};
std::atomic<bool> handingQueued{false};

}  // namespace

void setToldView(Webview* view) {
    toldView.store(view);
}

void tellToldView() {
    Webview* view = toldView.load();
    if (!view || tellingQueued.exchange(true)) return;
    view->dispatch([view] {
        tellingQueued.store(false);
        view->eval(kPageChangedScript);
    });
}

void handToldView(std::string (*status)()) {
    Webview* view = toldView.load();
    if (!view || handingQueued.exchange(true)) return;
    view->dispatch([view, status] {
        handingQueued.store(false);
        // The status text is a JSON object, which is also a script expression.
        view->eval("window.ravelinStatus && window.ravelinStatus(" + status() + ")");
    });
}

}  // namespace rv
