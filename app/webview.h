// A thin wrapper over the webview library's C API (version 0.12), loaded at run time from the
// library file beside the executable, so that a missing library is reported clearly.
// Every method runs on the user-interface thread except dispatch, which any thread may call.
#pragma once

#include <functional>
#include <list>
#include <string>

#include "platform/platform.h"

namespace rv {

// Size hints of set_size.
enum class SizeHint { None = 0, Min = 1, Max = 2, Fixed = 3 };

// What to tell the user when the webview library at `path` could not be loaded, and why.
std::string libraryLoadError(const std::string& path, const plat::LibraryProblem& problem);

class Webview {
  public:
    using Binding = std::function<std::string(const std::string& request)>;

    // Loads the library (the file beside the executable, or `path`) and its functions; on failure
    // `error` says what is missing.
    static bool loadLibrary(std::string& error, const std::string& path = std::string());

    Webview() = default;
    ~Webview();
    Webview(const Webview&) = delete;
    Webview& operator=(const Webview&) = delete;

    // Opens the library's own top-level window with developer tools off; false when no browser can
    // be created (no WebView2 runtime, no display).
    bool create();
    bool created() const { return handle_ != nullptr; }
    void setTitle(const std::string& title);
    void setSize(int width, int height, SizeHint hint);
    // Synchronous binding: `fn` gets the JSON text of the call's argument array and its result is
    // returned at once; an empty result resolves the page's promise with no value.
    void bind(const std::string& name, Binding fn);
    void setHtml(const std::string& html);
    // Runs `script` in the page (nothing when no page has loaded yet).
    void eval(const std::string& script);
    void run();
    void terminate();
    // terminate() of the Webview at `view`, as a plain function for the platform to call.
    static void terminateView(void* view) { static_cast<Webview*>(view)->terminate(); }
    // The native window (HWND or GtkWindow*) and the browser controller (Windows).
    void* nativeWindow() const;
    void* browserController() const;
    // Runs `work` on the user-interface thread during run().
    void dispatch(std::function<void()> work);
    // Destroys the window; also done by the destructor.
    void destroy();

  private:
    struct BoundCall {
        Webview* view;
        Binding fn;
        std::string name;
    };
    static void onCall(const char* id, const char* request, void* arg);
    static void onDispatch(void* handle, void* arg);

    void* handle_ = nullptr;
    std::list<BoundCall> bindings_;  // stable addresses: the library keeps pointers to them
};

}  // namespace rv
