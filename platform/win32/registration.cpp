// Start at logon: a Task Scheduler task that starts the executable when the current user logs on,
// with the highest run level. The program asks for administrator rights, and Windows does not start
// such a program from the Run key at logon (it blocks it without a word); a logon task with the
// highest run level starts it elevated and without a prompt. The definition's text is built by the
// portable code (platform/startup_task.h); here it is registered through the scheduler's COM interface.
#include "platform/startup_task.h"

#include <windows.h>

#include <sddl.h>
#include <taskschd.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

// CLSID_TaskScheduler, spelt out: the import library that defines it is not needed for one GUID.
constexpr CLSID kTaskScheduler = {
    0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};

// Earlier versions registered the value "Tapforge" under the Run key, which never starts the
// elevated program: it goes whichever way the switch is set.
void removeRunValue() {
    HKEY run = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_SET_VALUE, &run) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueW(run, L"Tapforge");
    RegCloseKey(run);
}

// The user this process runs as, as a SID text ("S-1-5-21-…"); empty when it cannot be read.
std::string currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    std::string sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        wchar_t* text = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
            sid = toUtf8(std::wstring(text));
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return sid;
}

std::string currentUserName() {
    wchar_t name[257];  // UNLEN + 1
    DWORD length = 257;
    if (!GetUserNameW(name, &length) || length == 0) return "";
    return toUtf8(name, length - 1);
}

// A BSTR for the length of one call.
class Bstr {
  public:
    explicit Bstr(const std::wstring& text)
        : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return text_; }
    bool ok() const { return text_ != nullptr; }

  private:
    BSTR text_;
};

template <typename T>
class Com {
  public:
    Com() = default;
    ~Com() {
        if (object_) object_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** out() { return &object_; }
    void** outVoid() { return reinterpret_cast<void**>(&object_); }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

  private:
    T* object_ = nullptr;
};

// COM for this call, unless the thread has it already (in any apartment).
class ComScope {
  public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT result_;
};

// The scheduler's root folder on this computer; false when the scheduler cannot be reached.
bool rootFolder(Com<ITaskFolder>& folder) {
    Com<ITaskService> service;
    if (FAILED(CoCreateInstance(kTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                service.outVoid())) ||
        !service) {
        return false;
    }
    VARIANT none;
    VariantInit(&none);
    if (FAILED(service->Connect(none, none, none, none))) return false;
    Bstr root(L"\\");
    return root.ok() && SUCCEEDED(service->GetFolder(root, folder.out())) && folder;
}

bool taskExists(ITaskFolder* folder, BSTR name) {
    Com<IRegisteredTask> task;
    return SUCCEEDED(folder->GetTask(name, task.out())) && task;
}

}  // namespace

bool setStartupRegistration(bool on, const std::string& executablePath) {
    removeRunValue();
    ComScope com;
    Com<ITaskFolder> folder;
    if (!rootFolder(folder)) return false;
    Bstr name(toWide(rv::startupTaskName(currentUserName())));
    if (!name.ok()) return false;
    if (on) {
        std::string user = currentUserSid();
        if (!user.empty() && hasNoNul(executablePath)) {
            Bstr definition(toWide(rv::startupTaskDefinition(executablePath, user)));
            VARIANT none;
            VariantInit(&none);
            Com<IRegisteredTask> task;
            // Created or replaced whole, so a start from another folder rewrites the path.
            if (definition.ok()) {
                folder->RegisterTask(name, definition, TASK_CREATE_OR_UPDATE, none, none,
                                     TASK_LOGON_INTERACTIVE_TOKEN, none, task.out());
            }
        }
    } else {
        folder->DeleteTask(name, 0);
    }
    return taskExists(folder.get(), name);
}

}  // namespace plat
