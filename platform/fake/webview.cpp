// The fake platform: the webview library it hands out instead of loading one.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/fake/fake_state.h"
#include "platform/input_math.h"
#include "platform/platform.h"

namespace fake {

namespace {

int fakeToken;

void* wvCreate(int, void*) {
    Lock lock(state().mutex);
    if (state().webview.createFails) return nullptr;
    state().webview.created = true;
    return &fakeToken;
}
int wvDestroy(void*) {
    Lock lock(state().mutex);
    state().webview.destroyed = true;
    return 0;
}
void runQueued() {
    for (;;) {
        std::pair<void (*)(void*, void*), void*> job;
        {
            Lock lock(state().mutex);
            if (state().dispatches.empty()) return;
            job = state().dispatches.front();
            state().dispatches.erase(state().dispatches.begin());
        }
        job.first(&fakeToken, job.second);
    }
}
int wvRun(void*) {
    runQueued();
    std::function<void()> script;
    {
        Lock lock(state().mutex);
        script = state().webview.onRun;
    }
    if (script) script();
    runQueued();
    return 0;
}
int wvTerminate(void*) {
    return 0;
}
int wvDispatch(void*, void (*fn)(void*, void*), void* arg) {
    Lock lock(state().mutex);
    state().dispatches.emplace_back(fn, arg);
    return 0;
}
void* wvGetWindow(void*) {
    return &fakeToken;
}
void* wvGetNativeHandle(void*, int) {
    return nullptr;
}
int wvSetTitle(void*, const char* title) {
    Lock lock(state().mutex);
    state().webview.title = title;
    return 0;
}
int wvSetSize(void*, int width, int height, int hint) {
    Lock lock(state().mutex);
    state().webview.width = width, state().webview.height = height, state().webview.hint = hint;
    for (auto& [handle, window] : state().windowStates) {
        if (!window.followsWebview) continue;
        // As the webview does: page pixels times the monitor's scale, truncated.
        auto clamped = [](double value) {
            return static_cast<int32_t>(
                std::clamp(value, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
        };
        window.rect.right = clamped(window.rect.left + std::trunc(static_cast<double>(width) * window.scale) +
                                    window.frameWidth);
        double outer = std::trunc(static_cast<double>(height) * window.scale) + window.frameHeight;
        if (window.maxOuterHeight > 0) outer = std::min<double>(outer, window.maxOuterHeight);
        window.rect.bottom = clamped(window.rect.top + outer);
    }
    return 0;
}
int wvSetHtml(void*, const char* html) {
    Lock lock(state().mutex);
    state().webview.html = html;
    return 0;
}
int wvEval(void*, const char* script) {
    Lock lock(state().mutex);
    state().webview.scripts.push_back(script);
    return 0;
}
int wvBind(void*, const char* name, void (*fn)(const char*, const char*, void*), void* arg) {
    Lock lock(state().mutex);
    state().webview.bound.push_back(name);
    state().bindings.push_back({name, fn, arg});
    return 0;
}
int wvReturn(void*, const char*, int, const char* result) {
    Lock lock(state().mutex);
    state().lastResult = result;
    return 0;
}

const std::map<std::string, void*>& webviewSymbols() {
    static const std::map<std::string, void*> symbols = {
        {"webview_create", reinterpret_cast<void*>(&wvCreate)},
        {"webview_destroy", reinterpret_cast<void*>(&wvDestroy)},
        {"webview_run", reinterpret_cast<void*>(&wvRun)},
        {"webview_terminate", reinterpret_cast<void*>(&wvTerminate)},
        {"webview_dispatch", reinterpret_cast<void*>(&wvDispatch)},
        {"webview_get_window", reinterpret_cast<void*>(&wvGetWindow)},
        {"webview_get_native_handle", reinterpret_cast<void*>(&wvGetNativeHandle)},
        {"webview_set_title", reinterpret_cast<void*>(&wvSetTitle)},
        {"webview_set_size", reinterpret_cast<void*>(&wvSetSize)},
        {"webview_set_html", reinterpret_cast<void*>(&wvSetHtml)},
        {"webview_eval", reinterpret_cast<void*>(&wvEval)},
        {"webview_bind", reinterpret_cast<void*>(&wvBind)},
        {"webview_return", reinterpret_cast<void*>(&wvReturn)},
    };
    return symbols;
}

}  // namespace

WebviewState& webview() {
    return state().webview;
}

void runDispatched() {
    runQueued();
}

std::string callBinding(const std::string& name, const std::string& request) {
    Bound bound{};
    {
        Lock lock(state().mutex);
        for (const Bound& b : state().bindings) {
            if (b.name == name) bound = b;
        }
        state().lastResult.clear();
    }
    if (!bound.fn) return "<unbound>";
    bound.fn("1", request.c_str(), bound.arg);
    Lock lock(state().mutex);
    return state().lastResult;
}

}  // namespace fake

namespace plat {

void* openLibrary(const std::string& path) {
    Lock lock(fake::state().mutex);
    bool webview = path.size() >= 12 && path.compare(path.size() - 12, 12, "fake-webview") == 0;
    return webview && fake::state().webview.libraryPresent ? &fake::fakeToken : nullptr;
}

LibraryProblem libraryProblem(const std::string&) {
    Lock lock(fake::state().mutex);
    return fake::state().webview.libraryProblem;
}

void* librarySymbol(void* library, const char* name) {
    if (library != &fake::fakeToken) return nullptr;
    auto found = fake::webviewSymbols().find(name);
    return found == fake::webviewSymbols().end() ? nullptr : found->second;
}

void applyBrowserSettings(void*) {}
void restBrowserWhileMinimized(void*, void*) {}

void nameProgramForDesktop() {}

void routeWindowClose(void*, void (*)(void*), void*, bool (*mayClose)()) {
    Lock lock(fake::state().mutex);
    fake::state().webview.mayClose = mayClose;
}

}  // namespace plat
