// The common item dialog for choosing one file. Show runs the dialog's own modal loop on the calling
// thread: the owner is disabled meanwhile, while every other message (the browser's, the page's
// calls, timers) is still dispatched.
#include <windows.h>
// windows.h first
#include <shobjidl.h>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

template <typename T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p) p->Release();
    }
};

}  // namespace

bool showFileDialog(void* ownerWindow, const FileDialogRequest& request,
                    std::function<void(const std::string& path)> done) {
    if (!done) return false;
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    Released<IFileDialog> dialog;
    HRESULT result = save ? CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IFileSaveDialog, reinterpret_cast<void**>(&dialog.p))
                          : CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IFileOpenDialog, reinterpret_cast<void**>(&dialog.p));
    if (FAILED(result) || !dialog.p) return false;

    const std::wstring title = toWide(request.title);
    const std::wstring extension = toWide(request.extension);
    const std::wstring pattern = L"*." + extension;
    const std::wstring typeName = toWide(request.typeName) + L" (" + pattern + L")";
    COMDLG_FILTERSPEC types[2] = {{typeName.c_str(), pattern.c_str()}, {L"All files (*.*)", L"*.*"}};
    const bool typed = !extension.empty();
    dialog.p->SetFileTypes(typed ? 2 : 1, typed ? types : types + 1);
    dialog.p->SetFileTypeIndex(1);
    if (typed) dialog.p->SetDefaultExtension(extension.c_str());
    if (!title.empty()) dialog.p->SetTitle(title.c_str());
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.p->GetOptions(&options);
    options |= FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
    options |= save ? FOS_OVERWRITEPROMPT | FOS_NOREADONLYRETURN : FOS_FILEMUSTEXIST;
    dialog.p->SetOptions(options);
    if (save && !request.proposedName.empty()) dialog.p->SetFileName(toWide(request.proposedName).c_str());

    std::string path;
    // Cancelled: HRESULT_FROM_WIN32(ERROR_CANCELLED), and nothing chosen.
    if (SUCCEEDED(dialog.p->Show(static_cast<HWND>(ownerWindow)))) {
        Released<IShellItem> item;
        PWSTR chosen = nullptr;
        if (SUCCEEDED(dialog.p->GetResult(&item.p)) && item.p &&
            SUCCEEDED(item.p->GetDisplayName(SIGDN_FILESYSPATH, &chosen)) && chosen) {
            path = toUtf8(chosen, wcslen(chosen));
            CoTaskMemFree(chosen);
        }
    }
    done(path);
    return true;
}

}  // namespace plat
