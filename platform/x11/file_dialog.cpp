// The toolkit's file chooser for choosing one file. Like the browser settings (browser.cpp), the
// toolkit's functions are looked up in the libraries the webview library has loaded: no toolkit
// headers, and nothing loaded that the program would not load anyway. The native chooser is the
// desktop's own dialog through its portal where a desktop offers one, else the toolkit's dialog, kept
// above and modal to the owner window; either way it runs from the toolkit's loop, so the page goes on
// while it is open.
#include <dlfcn.h>

#include <memory>

#include "platform/platform.h"

namespace plat {

namespace {

constexpr int kActionOpen = 0;       // GTK_FILE_CHOOSER_ACTION_OPEN
constexpr int kActionSave = 1;       // GTK_FILE_CHOOSER_ACTION_SAVE
constexpr int kResponseAccept = -3;  // GTK_RESPONSE_ACCEPT

using GCallback = void (*)();

struct Chooser {
    void* (*nativeNew)(const char* title, void* parent, int action, const char* accept,
                       const char* cancel) = nullptr;
    void (*setModal)(void* dialog, int modal) = nullptr;
    void (*show)(void* dialog) = nullptr;
    void (*setCurrentName)(void* chooser, const char* name) = nullptr;
    void (*addFilter)(void* chooser, void* filter) = nullptr;
    void* (*getFile)(void* chooser) = nullptr;
    void* (*filterNew)() = nullptr;
    void (*filterSetName)(void* filter, const char* name) = nullptr;
    void (*filterAddPattern)(void* filter, const char* pattern) = nullptr;
    char* (*filePath)(void* file) = nullptr;
    void (*free)(void* memory) = nullptr;
    void (*unref)(void* object) = nullptr;
    unsigned long (*signalConnectData)(void* instance, const char* signal, GCallback handler, void* data,
                                       void* destroyData, int flags) = nullptr;
    bool found = false;
};

template <typename Fn>
bool find(void* library, const char* name, Fn& slot) {
    slot = library ? reinterpret_cast<Fn>(dlsym(library, name)) : nullptr;
    return slot != nullptr;
}

const Chooser& chooser() {
    static const Chooser instance = [] {
        Chooser c;
        // Only what is loaded already: the headless test build has no toolkit, and no dialog.
        void* gtk = dlopen("libgtk-4.so.1", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        void* gio = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        void* glib = dlopen("libglib-2.0.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        void* gobject = dlopen("libgobject-2.0.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        c.found = find(gtk, "gtk_file_chooser_native_new", c.nativeNew) &&
                  find(gtk, "gtk_native_dialog_set_modal", c.setModal) &&
                  find(gtk, "gtk_native_dialog_show", c.show) &&
                  find(gtk, "gtk_file_chooser_set_current_name", c.setCurrentName) &&
                  find(gtk, "gtk_file_chooser_add_filter", c.addFilter) &&
                  find(gtk, "gtk_file_chooser_get_file", c.getFile) &&
                  find(gtk, "gtk_file_filter_new", c.filterNew) &&
                  find(gtk, "gtk_file_filter_set_name", c.filterSetName) &&
                  find(gtk, "gtk_file_filter_add_pattern", c.filterAddPattern) &&
                  find(gio, "g_file_get_path", c.filePath) && find(glib, "g_free", c.free) &&
                  find(gobject, "g_object_unref", c.unref) &&
                  find(gobject, "g_signal_connect_data", c.signalConnectData);
        return c;
    }();
    return instance;
}

struct OpenDialog {
    std::function<void(const std::string&)> done;
};

// "response" of the native chooser: the chosen file, or nothing for any other answer (cancel, the
// window closed).
void onResponse(void* dialog, int response, void* data) {
    std::unique_ptr<OpenDialog> open(static_cast<OpenDialog*>(data));
    const Chooser& c = chooser();
    std::string path;
    if (response == kResponseAccept) {
        if (void* file = c.getFile(dialog)) {
            if (char* text = c.filePath(file)) {
                path = text;
                c.free(text);
            }
            c.unref(file);
        }
    }
    // The dialog is ours until here: it hid itself before answering.
    c.unref(dialog);
    open->done(path);
}

void addFilter(const Chooser& c, void* dialog, const std::string& name, const char* pattern) {
    void* filter = c.filterNew();
    c.filterSetName(filter, name.c_str());
    c.filterAddPattern(filter, pattern);
    c.addFilter(dialog, filter);
    c.unref(filter);
}

}  // namespace

bool showFileDialog(void* ownerWindow, const FileDialogRequest& request,
                    std::function<void(const std::string& path)> done) {
    const Chooser& c = chooser();
    if (!c.found || !ownerWindow || !done) return false;
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    void* dialog = c.nativeNew(request.title.c_str(), ownerWindow, save ? kActionSave : kActionOpen,
                               save ? "_Save" : "_Open", "_Cancel");
    if (!dialog) return false;
    c.setModal(dialog, 1);
    if (!request.extension.empty()) {
        const std::string pattern = "*." + request.extension;
        addFilter(c, dialog, request.typeName + " (" + pattern + ")", pattern.c_str());
    }
    addFilter(c, dialog, "All files", "*");
    // The toolkit's chooser asks before it replaces a file on its own.
    if (save && !request.proposedName.empty()) c.setCurrentName(dialog, request.proposedName.c_str());
    auto* open = new OpenDialog{std::move(done)};
    c.signalConnectData(dialog, "response", reinterpret_cast<GCallback>(&onResponse), open, nullptr, 0);
    c.show(dialog);
    return true;
}

}  // namespace plat
