// The browser's own functions kept from the user through the webview's browser controller, and the
// program's name on the taskbar. The browser's interfaces are reached by vtable slot: no WebView2
// header is needed for the few calls made here.
#include <windows.h>

#include <objbase.h>
#include <shobjidl.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/context_menu.h"
#include "platform/platform.h"

namespace plat {

namespace {

constexpr int kControllerPutIsVisible = 4;
constexpr int kControllerGetCoreWebView2 = 25;
constexpr int kWebViewGetSettings = 3;
constexpr int kSettingsPutAreDefaultContextMenusEnabled = 14;
constexpr int kSettingsPutIsZoomControlEnabled = 18;
constexpr int kSettings3PutAreBrowserAcceleratorKeysEnabled = 24;
constexpr IID kIidSettings3 = {0xfdb5ab74, 0xaf33, 0x4854, {0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba}};

// ICoreWebView2_11 and its context menu event (runtime 1.0.1185 and later).
constexpr IID kIidWebView11 = {0x0be78e56, 0xc193, 0x4051, {0xb9, 0x43, 0x23, 0xb4, 0x60, 0xc0, 0x8b, 0xdb}};
constexpr IID kIidContextMenuRequestedHandler = {
    0x04d3fe1d, 0xab87, 0x42fb, {0xa8, 0x98, 0xda, 0x24, 0x1d, 0x35, 0xb6, 0x3c}};
constexpr int kWebView11AddContextMenuRequested = 100;
constexpr int kMenuArgsGetMenuItems = 3;
constexpr int kMenuArgsPutHandled = 8;
constexpr int kItemsGetCount = 3;
constexpr int kItemsGetValueAtIndex = 4;
constexpr int kItemsRemoveValueAtIndex = 5;
constexpr int kItemGetName = 3;
constexpr int kItemGetKind = 8;
constexpr INT32 kItemKindSeparator = 3;  // COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_SEPARATOR

// ICoreWebView2_19 and its memory target (runtime 1.0.2210 and later).
constexpr IID kIidWebView19 = {0x6921f954, 0x79b0, 0x437f, {0xa9, 0x97, 0xc8, 0x58, 0x11, 0x89, 0x7c, 0x68}};
constexpr int kWebView19PutMemoryUsageTargetLevel = 120;
constexpr INT32 kMemoryTargetNormal = 0;  // COREWEBVIEW2_MEMORY_USAGE_TARGET_LEVEL_NORMAL
constexpr INT32 kMemoryTargetLow = 1;     // COREWEBVIEW2_MEMORY_USAGE_TARGET_LEVEL_LOW

using GetFn = HRESULT(STDMETHODCALLTYPE*)(void* self, void** out);
using PutIntFn = HRESULT(STDMETHODCALLTYPE*)(void* self, INT32 value);
using PutBoolFn = HRESULT(STDMETHODCALLTYPE*)(void* self, BOOL value);
using GetCountFn = HRESULT(STDMETHODCALLTYPE*)(void* self, UINT32* out);
using GetAtFn = HRESULT(STDMETHODCALLTYPE*)(void* self, UINT32 index, void** out);
using RemoveAtFn = HRESULT(STDMETHODCALLTYPE*)(void* self, UINT32 index);
using GetTextFn = HRESULT(STDMETHODCALLTYPE*)(void* self, LPWSTR* out);
using GetIntFn = HRESULT(STDMETHODCALLTYPE*)(void* self, INT32* out);
using AddHandlerFn = HRESULT(STDMETHODCALLTYPE*)(void* self, void* handler, INT64* token);

template <typename Fn>
Fn method(void* object, int slot) {
    return reinterpret_cast<Fn>((*static_cast<void***>(object))[slot]);
}

// Each getter returns a reference that is ours to release; a failed call leaves nothing to release.
void* get(void* object, int slot) {
    void* out = nullptr;
    if (FAILED(method<GetFn>(object, slot)(object, &out))) return nullptr;
    return out;
}

bool putBool(void* object, int slot, bool value) {
    return SUCCEEDED(method<PutBoolFn>(object, slot)(object, value ? TRUE : FALSE));
}

void release(void* object) {
    if (object) static_cast<IUnknown*>(object)->Release();
}

// The browser's names of the editing entries.
bool isEditingEntry(const wchar_t* name) {
    for (const wchar_t* kept : {L"cut", L"copy", L"paste", L"pasteAndMatchStyle", L"selectAll", L"undo",
                                L"redo", L"emoji", L"spellcheck"}) {
        if (std::wstring(name) == kept) return true;
    }
    return false;
}

MenuEntry entryOf(void* item) {
    MenuEntry entry;
    INT32 kind = 0;
    if (SUCCEEDED(method<GetIntFn>(item, kItemGetKind)(item, &kind)) && kind == kItemKindSeparator) {
        entry.separator = true;
        return entry;
    }
    LPWSTR name = nullptr;
    if (SUCCEEDED(method<GetTextFn>(item, kItemGetName)(item, &name)) && name) {
        entry.editing = isEditingEntry(name);
        CoTaskMemFree(name);
    }
    return entry;
}

// Trims the menu the browser is about to show to its editing entries; with none left it is marked
// handled, so none shows.
HRESULT STDMETHODCALLTYPE onContextMenuRequested(void*, void*, void* args) {
    if (!args) return S_OK;
    void* items = get(args, kMenuArgsGetMenuItems);
    UINT32 count = 0;
    if (!items || FAILED(method<GetCountFn>(items, kItemsGetCount)(items, &count))) {
        release(items);
        putBool(args, kMenuArgsPutHandled, true);
        return S_OK;
    }
    std::vector<MenuEntry> entries;
    for (UINT32 i = 0; i < count; ++i) {
        void* item = nullptr;
        if (FAILED(method<GetAtFn>(items, kItemsGetValueAtIndex)(items, i, &item)) || !item) {
            entries.push_back(MenuEntry{});
            continue;
        }
        entries.push_back(entryOf(item));
        release(item);
    }
    const std::vector<bool> kept = keptMenuEntries(entries);
    bool any = false;
    for (UINT32 i = count; i-- > 0;) {
        if (!kept[i]) method<RemoveAtFn>(items, kItemsRemoveValueAtIndex)(items, i);
        any = any || kept[i];
    }
    release(items);
    if (!any) putBool(args, kMenuArgsPutHandled, true);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE handlerQueryInterface(void* self, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidContextMenuRequestedHandler)) {
        *out = self;
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

// The handler lives as long as the process: its count never reaches zero.
ULONG STDMETHODCALLTYPE handlerAddRef(void*) {
    return 2;
}
ULONG STDMETHODCALLTYPE handlerRelease(void*) {
    return 1;
}

struct MenuHandlerVtbl {
    HRESULT(STDMETHODCALLTYPE* queryInterface)(void*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* addRef)(void*);
    ULONG(STDMETHODCALLTYPE* release)(void*);
    HRESULT(STDMETHODCALLTYPE* invoke)(void* self, void* sender, void* args);
};
struct MenuHandler {
    const MenuHandlerVtbl* vtbl;
};
const MenuHandlerVtbl kMenuHandlerVtbl = {&handlerQueryInterface, &handlerAddRef, &handlerRelease,
                                          &onContextMenuRequested};
MenuHandler menuHandler{&kMenuHandlerVtbl};

// True when the browser now trims each context menu it shows.
bool trimContextMenus(void* webView) {
    void* webView11 = nullptr;
    if (FAILED(static_cast<IUnknown*>(webView)->QueryInterface(kIidWebView11, &webView11)) || !webView11)
        return false;
    INT64 token = 0;
    const bool added = SUCCEEDED(
        method<AddHandlerFn>(webView11, kWebView11AddContextMenuRequested)(webView11, &menuHandler, &token));
    release(webView11);
    return added;
}

}  // namespace

void applyBrowserSettings(void* browserController) {
    if (!browserController) return;
    void* webView = get(browserController, kControllerGetCoreWebView2);
    if (!webView) return;
    // A browser too old to trim its menus shows none: a text field then keeps only the keyboard's
    // cut, copy and paste, which the accelerator setting below leaves alone.
    const bool trimmed = trimContextMenus(webView);
    void* settings = get(webView, kWebViewGetSettings);
    if (settings && putBool(settings, kSettingsPutAreDefaultContextMenusEnabled, trimmed) &&
        putBool(settings, kSettingsPutIsZoomControlEnabled, false)) {
        void* settings3 = nullptr;
        if (SUCCEEDED(static_cast<IUnknown*>(settings)->QueryInterface(kIidSettings3, &settings3)) &&
            settings3) {
            putBool(settings3, kSettings3PutAreBrowserAcceleratorKeysEnabled, false);
            release(settings3);
        }
    }
    release(settings);
    release(webView);
}

namespace {

// The main window's close guard: a subclass that asks before the close goes on (WM_CLOSE's default
// destroys the window, and the library's loop ends with it).
WNDPROC closeGuardPrevious = nullptr;
bool (*closeGuardAsk)() = nullptr;

LRESULT CALLBACK closeGuardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC previous = closeGuardPrevious;
    if (message == WM_CLOSE && closeGuardAsk && !closeGuardAsk()) return 0;
    if (message == WM_NCDESTROY) {
        // The window's last message: the procedure under this one takes its place again.
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        closeGuardPrevious = nullptr;
        closeGuardAsk = nullptr;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

}  // namespace

namespace {

// The main window's rest while minimized: a subclass that tells the browser controller (which it
// holds a reference to) when the window is minimized and when it shows again.
WNDPROC restPrevious = nullptr;
void* restController = nullptr;
bool resting = false;

// A hidden browser pauses the page's drawing, throttles its timers and may drop caches; the memory
// target asks it to give back what it can. Older runtimes lack the memory target: only the
// visibility changes there.
void rest(bool minimized) {
    if (!restController || minimized == resting) return;
    resting = minimized;
    putBool(restController, kControllerPutIsVisible, !minimized);
    void* webView = get(restController, kControllerGetCoreWebView2);
    if (!webView) return;
    void* webView19 = nullptr;
    if (SUCCEEDED(static_cast<IUnknown*>(webView)->QueryInterface(kIidWebView19, &webView19)) && webView19) {
        method<PutIntFn>(webView19, kWebView19PutMemoryUsageTargetLevel)(
            webView19, minimized ? kMemoryTargetLow : kMemoryTargetNormal);
        release(webView19);
    }
    release(webView);
}

LRESULT CALLBACK restProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC previous = restPrevious;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        release(restController);
        restPrevious = nullptr;
        restController = nullptr;
        resting = false;
        return CallWindowProcW(previous, window, message, wParam, lParam);
    }
    // After the library's own handling, which sizes the browser to the window.
    const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
    if (message == WM_SIZE) rest(wParam == SIZE_MINIMIZED);
    return result;
}

}  // namespace

void restBrowserWhileMinimized(void* nativeWindow, void* browserController) {
    if (!nativeWindow || !browserController || restPrevious) return;
    HWND window = static_cast<HWND>(nativeWindow);
    static_cast<IUnknown*>(browserController)->AddRef();
    restController = browserController;
    resting = false;
    restPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&restProc)));
    if (!restPrevious) {
        release(restController);
        restController = nullptr;
        return;
    }
    // A window minimized already (a minimized start) rests at once.
    if (IsIconic(window)) rest(true);
}

// The library ends its loop itself when the window goes; only the question before it is ours.
void routeWindowClose(void* nativeWindow, void (*)(void*), void*, bool (*mayClose)()) {
    if (!nativeWindow || !mayClose || closeGuardPrevious) return;
    closeGuardAsk = mayClose;
    closeGuardPrevious = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        static_cast<HWND>(nativeWindow), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&closeGuardProc)));
}

void nameProgramForDesktop() {
    // Every process of the program (the main window and each panel) takes the same id, so the
    // taskbar groups their windows under one button that can be pinned.
    SetCurrentProcessExplicitAppUserModelID(L"Ravelin.Ravelin");
}

}  // namespace plat
