// Windows panel pipe: the named pipe "\\.\pipe\TapmillIPC", inbound, message mode, one instance at a
// time on the server; each client opens it, writes one message and closes.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

namespace {

constexpr const char* kPipeName = "\\\\.\\pipe\\TapmillIPC";
constexpr DWORD kMessageSize = 511;
constexpr DWORD kBufferSize = 512;

// Manual reset and made once, so that a stop before the server starts is kept (sticky).
HANDLE stopEvent() {
    static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

bool stopRequested() {
    return WaitForSingleObject(stopEvent(), 0) == WAIT_OBJECT_0;
}

// Waits for an overlapped operation on the pipe to finish, or for the stop; a stopped operation is
// cancelled and waited for, since the record must outlive it. True when it finished successfully.
bool finish(HANDLE pipe, OVERLAPPED& overlapped, DWORD& transferred) {
    HANDLE waits[] = {overlapped.hEvent, stopEvent()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        return GetOverlappedResult(pipe, &overlapped, &transferred, FALSE) != 0;
    }
    CancelIoEx(pipe, &overlapped);
    GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
    return false;
}

bool waitForClient(HANDLE pipe, OVERLAPPED& overlapped) {
    DWORD unused = 0;
    if (ConnectNamedPipe(pipe, &overlapped)) return true;
    switch (GetLastError()) {
        case ERROR_PIPE_CONNECTED:
            return true;
        case ERROR_IO_PENDING:
            return finish(pipe, overlapped, unused);
        default:
            return false;
    }
}

// One read of one whole message; false when the client has gone, the message was too long (it is
// then dropped) or the server is stopping.
bool readMessage(HANDLE pipe, OVERLAPPED& overlapped, char* buffer, DWORD& length) {
    length = 0;
    if (ReadFile(pipe, buffer, kMessageSize, &length, &overlapped)) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    return finish(pipe, overlapped, length);
}

void serveOneClient(HANDLE pipe, void (*received)(const char* bytes, size_t length)) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent) return;
    if (waitForClient(pipe, overlapped)) {
        char buffer[kBufferSize];
        DWORD length = 0;
        for (;;) {
            ResetEvent(overlapped.hEvent);
            if (!readMessage(pipe, overlapped, buffer, length)) break;
            received(buffer, length);
        }
    }
    CloseHandle(overlapped.hEvent);
}

}  // namespace

void runPipeServer(void (*received)(const char* bytes, size_t length)) {
    if (!stopEvent()) return;
    while (!stopRequested()) {
        HANDLE pipe = CreateNamedPipeA(
            kPipeName, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
            PIPE_UNLIMITED_INSTANCES, kBufferSize, kBufferSize, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) {
            WaitForSingleObject(stopEvent(), 50);
            continue;
        }
        serveOneClient(pipe, received);
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
    }
    // Stopped: a later server (a test's) starts afresh.
    ResetEvent(stopEvent());
}

void stopPipeServer() {
    if (stopEvent()) SetEvent(stopEvent());
}

bool sendPipeMessage(const std::string& message) {
    // The server would drop it whole; it need not hold the server's one instance for that.
    if (message.size() > kMessageSize) return false;
    HANDLE pipe = CreateFileA(kPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool sent = WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), &written, nullptr) &&
                written == message.size();
    CloseHandle(pipe);
    return sent;
}

}  // namespace plat
