#include "app/webview.h"

#include "platform/platform.h"
#include "state/text_file.h"

namespace rv {

namespace {

// The library's C API; see its 0.12 headers. Handles are opaque pointers.
struct WebviewApi {
    void* (*create)(int debug, void* window) = nullptr;
    int (*destroy)(void* w) = nullptr;
    int (*run)(void* w) = nullptr;
    int (*terminate)(void* w) = nullptr;
    int (*dispatch)(void* w, void (*fn)(void* w, void* arg), void* arg) = nullptr;
    void* (*getWindow)(void* w) = nullptr;
    void* (*getNativeHandle)(void* w, int kind) = nullptr;
    int (*setTitle)(void* w, const char* title) = nullptr;
    int (*setSize)(void* w, int width, int height, int hint) = nullptr;
    int (*setHtml)(void* w, const char* html) = nullptr;
    int (*eval)(void* w, const char* js) = nullptr;
    int (*bind)(void* w, const char* name, void (*fn)(const char* id, const char* req, void* arg),
                void* arg) = nullptr;
    int (*returnResult)(void* w, const char* id, int status, const char* result) = nullptr;
};

WebviewApi api;
bool apiLoaded = false;

constexpr int kNativeBrowserController = 2;

template <typename Fn>
bool resolve(void* library, const char* name, Fn& slot, std::string& error) {
    slot = reinterpret_cast<Fn>(plat::librarySymbol(library, name));
    if (!slot) error = std::string("The webview library lacks the function ") + name + ".";
    return slot != nullptr;
}

// The runtime libraries of Microsoft's C++ compiler, which a fresh Windows may lack: the Visual C++
// Redistributable installs them, with the Universal C runtime that older systems lack too.
bool fromVisualCppRedistributable(const std::string& name) {
    std::string lower;
    for (char c : name) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    for (const char* prefix :
         {"msvcp1", "vcruntime1", "concrt1", "vccorlib1", "ucrtbase", "api-ms-win-crt-"}) {
        if (lower.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

}  // namespace

std::string libraryLoadError(const std::string& path, const plat::LibraryProblem& problem) {
    switch (problem.kind) {
        case plat::LibraryProblem::Kind::FileMissing:
            return "Ravelin cannot start: the file " + std::string(plat::webviewLibraryFile) +
                   " is missing from its folder:\n" + path + "\n\nCopy " + plat::webviewLibraryFile +
                   " from the Ravelin package into that folder, then start Ravelin again.";
        case plat::LibraryProblem::Kind::DependencyMissing:
            if (fromVisualCppRedistributable(problem.detail)) {
                return "The webview library could not be loaded:\n" + path + "\n\nIt needs " +
                       problem.detail +
                       ", which is not installed on this computer. The Microsoft Visual C++ Redistributable "
                       "(x64) "
                       "provides it: install it from Microsoft's website, then start Ravelin again.";
            }
            return "The webview library could not be loaded:\n" + path + "\n\nIt needs " + problem.detail +
                   ", which is not installed on this computer.";
        case plat::LibraryProblem::Kind::Other:
            break;
    }
    std::string text = "The webview library could not be loaded:\n" + path;
    if (!problem.detail.empty()) text += "\n\n" + problem.detail;
    return text;
}

bool Webview::loadLibrary(std::string& error, const std::string& file) {
    apiLoaded = false;
    std::string path = file.empty() ? besideExe(plat::webviewLibraryFile) : file;
    void* library = plat::openLibrary(path);
    if (!library) {
        error = libraryLoadError(path, plat::libraryProblem(path));
        return false;
    }
    apiLoaded = resolve(library, "webview_create", api.create, error) &&
                resolve(library, "webview_destroy", api.destroy, error) &&
                resolve(library, "webview_run", api.run, error) &&
                resolve(library, "webview_terminate", api.terminate, error) &&
                resolve(library, "webview_dispatch", api.dispatch, error) &&
                resolve(library, "webview_get_window", api.getWindow, error) &&
                resolve(library, "webview_get_native_handle", api.getNativeHandle, error) &&
                resolve(library, "webview_set_title", api.setTitle, error) &&
                resolve(library, "webview_set_size", api.setSize, error) &&
                resolve(library, "webview_set_html", api.setHtml, error) &&
                resolve(library, "webview_eval", api.eval, error) &&
                resolve(library, "webview_bind", api.bind, error) &&
                resolve(library, "webview_return", api.returnResult, error);
    return apiLoaded;
}

Webview::~Webview() {
    destroy();
}

bool Webview::create() {
    if (!apiLoaded) return false;
    plat::nameProgramForDesktop();
    handle_ = api.create(0, nullptr);
    return handle_ != nullptr;
}

void Webview::setTitle(const std::string& title) {
    if (handle_) api.setTitle(handle_, title.c_str());
}

void Webview::setSize(int width, int height, SizeHint hint) {
    if (handle_) api.setSize(handle_, width, height, static_cast<int>(hint));
}

void Webview::bind(const std::string& name, Binding fn) {
    if (!handle_) return;
    bindings_.push_back(BoundCall{this, std::move(fn), name});
    api.bind(handle_, name.c_str(), &Webview::onCall, &bindings_.back());
}

void Webview::onCall(const char* id, const char* request, void* arg) {
    auto* call = static_cast<BoundCall*>(arg);
    std::string result = call->fn(request ? request : "");
    api.returnResult(call->view->handle_, id, 0, result.c_str());
}

void Webview::setHtml(const std::string& html) {
    if (handle_) api.setHtml(handle_, html.c_str());
}

void Webview::eval(const std::string& script) {
    if (handle_) api.eval(handle_, script.c_str());
}

void Webview::run() {
    if (handle_) api.run(handle_);
}

void Webview::terminate() {
    if (handle_) api.terminate(handle_);
}

void* Webview::nativeWindow() const {
    return handle_ ? api.getWindow(handle_) : nullptr;
}

void* Webview::browserController() const {
    return handle_ ? api.getNativeHandle(handle_, kNativeBrowserController) : nullptr;
}

void Webview::dispatch(std::function<void()> work) {
    if (!handle_) return;
    auto* job = new std::function<void()>(std::move(work));
    api.dispatch(handle_, &Webview::onDispatch, job);
}

void Webview::onDispatch(void*, void* arg) {
    auto* job = static_cast<std::function<void()>*>(arg);
    (*job)();
    delete job;
}

void Webview::destroy() {
    if (!handle_) return;
    api.destroy(handle_);
    handle_ = nullptr;
    bindings_.clear();
}

}  // namespace rv
