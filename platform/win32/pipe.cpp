// Windows panel pipe: the named pipe "\\.\pipe\TapmillIPC-<session id>" (pipe_name.h), duplex,
// message mode, local clients of this user only. The server owns the name (the first instance is made with
// FILE_FLAG_FIRST_PIPE_INSTANCE, so no other program can have taken it first) and serves every
// connected instance at once with overlapped reads, always keeping one more instance waiting for the
// next client, so messages that panels send back to back all arrive. A connection that sends nothing
// for a second is closed.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/pipe_peers.h"
#include "platform/platform.h"
#include "platform/win32/pipe_name.h"

namespace plat {

namespace {

constexpr DWORD kMessageSize = static_cast<DWORD>(kPipeMessageMax);
constexpr DWORD kInBufferSize = kMessageSize + 1;
constexpr DWORD kOutBufferSize = static_cast<DWORD>(kPipeReplyMax);
constexpr size_t kInstancesMax = MAXIMUM_WAIT_OBJECTS - 2;  // two wait slots: the stop and the notice
// When every instance is taken, newcomers wait for a free one (kClientWaitMs, then once more) while
// the oldest may not yet give way (pipe_peers.h).
constexpr DWORD kClientWaitMs = 500;   // a client waits this long at most for a free instance
constexpr DWORD kCrowdWaitMs = 10000;  // and once more this long: a busy server works through a crowd
constexpr DWORD kMissingWaitMs = 500;  // and this long for a name that is not there
constexpr DWORD kReplyWriteMs = 200;
// While another program holds the name the server tries again after a pause that starts here and
// doubles up to the longest: a name that stays taken costs a wake every few seconds, not 20 a second.
constexpr DWORD kRetryFirstMs = 50;
constexpr DWORD kRetryLongestMs = 5000;

std::atomic<int> refusals{0};

// Manual reset and made once, so that a stop before the server starts is kept (sticky).
HANDLE stopEvent() {
    static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

bool stopRequested() {
    return WaitForSingleObject(stopEvent(), 0) == WAIT_OBJECT_0;
}

// A notice for the watching clients, waiting for the server thread (auto reset: several are one).
HANDLE noticeEvent() {
    static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// The end of a client's watch (manual reset; the watch that obeys it resets it).
HANDLE watchStopEvent() {
    static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// A security descriptor whose DACL admits the current user alone (full access), built once, in
// place: the descriptor points at its ACL.
struct UserOnly {
    SECURITY_DESCRIPTOR descriptor{};
    std::vector<BYTE> user, acl;
    SECURITY_ATTRIBUTES attributes{};
    bool made = false;

    UserOnly() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user.resize(size);
        const bool haveUser = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
        CloseHandle(token);
        if (!haveUser) return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
        acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
        ACL* list = reinterpret_cast<ACL*>(acl.data());
        made = InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION) &&
               AddAccessAllowedAce(list, ACL_REVISION, GENERIC_ALL, sid) &&
               InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE);
        attributes = {sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    }
    UserOnly(const UserOnly&) = delete;
    UserOnly& operator=(const UserOnly&) = delete;
};

// Null when the descriptor cannot be made: the pipe is then not made either.
SECURITY_ATTRIBUTES* userOnly() {
    static UserOnly security;
    return security.made ? &security.attributes : nullptr;
}

int64_t now() {
    return static_cast<int64_t>(GetTickCount64());
}

// One pipe instance: waiting for a client, or reading its messages.
struct Instance {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    bool connected = false;
    bool pending = false;  // an overlapped connect or read is under way
    PipePeer peer;         // GetTickCount64 milliseconds
    char buffer[kInBufferSize];

    ~Instance() {
        if (pending) {
            CancelIoEx(pipe, &overlapped);
            DWORD unused = 0;
            GetOverlappedResult(pipe, &overlapped, &unused, TRUE);
        }
        if (pipe != INVALID_HANDLE_VALUE) {
            if (connected) DisconnectNamedPipe(pipe);
            CloseHandle(pipe);
        }
        if (overlapped.hEvent) CloseHandle(overlapped.hEvent);
    }
};

using Instances = std::vector<std::unique_ptr<Instance>>;  // oldest first

// A new instance waiting for a client; null when none can be made now (another program holds the
// name, or the system refuses).
std::unique_ptr<Instance> listen(bool first) {
    SECURITY_ATTRIBUTES* security = userOnly();
    if (!security) return nullptr;
    auto instance = std::make_unique<Instance>();
    instance->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!instance->overlapped.hEvent) return nullptr;
    instance->pipe = CreateNamedPipeA(
        sessionPipeName().c_str(),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kOutBufferSize, kInBufferSize, 0, security);
    if (instance->pipe == INVALID_HANDLE_VALUE) return nullptr;
    if (ConnectNamedPipe(instance->pipe, &instance->overlapped)) {
        instance->connected = true;
    } else {
        switch (GetLastError()) {
            case ERROR_PIPE_CONNECTED:
            // A client that connected, wrote and closed before the connect call: what it wrote is
            // still there to read.
            case ERROR_NO_DATA:
                instance->connected = true;
                break;
            case ERROR_IO_PENDING:
                instance->pending = true;
                break;
            default:
                return nullptr;
        }
    }
    if (instance->connected) {
        peerAccepted(instance->peer, now());
        SetEvent(instance->overlapped.hEvent);  // served on the next turn
    }
    return instance;
}

void reply(Instance& instance, const std::string& text) {
    if (text.empty() || text.size() > kPipeReplyMax) return;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent) return;
    DWORD written = 0;
    if (!WriteFile(instance.pipe, text.data(), static_cast<DWORD>(text.size()), &written, &overlapped) &&
        GetLastError() == ERROR_IO_PENDING) {
        // The reply fits the pipe's buffer; a client that reads nothing is not waited for long.
        if (WaitForSingleObject(overlapped.hEvent, kReplyWriteMs) != WAIT_OBJECT_0)
            CancelIoEx(instance.pipe, &overlapped);
        GetOverlappedResult(instance.pipe, &overlapped, &written, TRUE);
    }
    CloseHandle(overlapped.hEvent);
}

// A watch request marks the instance; anything else goes to the handler, whose reply goes back.
void serve(Instance& instance, DWORD length, PipeHandler received) {
    if (peerHeard(instance.peer, std::string_view(instance.buffer, length), now())) return;
    reply(instance, received(instance.buffer, length));
}

// Carries one instance forward after its event was set: a connect or a read has ended. Reads and
// hands on every message already there, then leaves one read pending. False when the instance is
// done (client gone, message too long, or a failure).
bool advance(Instance& instance, PipeHandler received) {
    DWORD length = 0;
    if (instance.pending) {
        const bool ok = GetOverlappedResult(instance.pipe, &instance.overlapped, &length, FALSE) != 0;
        if (!ok && GetLastError() == ERROR_IO_INCOMPLETE) {
            // The event was set by an earlier operation that finished at once; this one still runs.
            ResetEvent(instance.overlapped.hEvent);
            if (!HasOverlappedIoCompleted(&instance.overlapped)) return true;
            return advance(instance, received);
        }
        instance.pending = false;
        if (!instance.connected) {
            // A client that wrote and closed before the connect was looked at may show as a failed
            // connect (Wine); what it wrote is still there to read.
            instance.connected = true;
            peerAccepted(instance.peer, now());
        } else {
            if (!ok) return false;  // ERROR_MORE_DATA (too long), ERROR_BROKEN_PIPE (client gone)
            if (length > 0) serve(instance, length, received);
        }
    }
    for (;;) {
        ResetEvent(instance.overlapped.hEvent);
        if (ReadFile(instance.pipe, instance.buffer, kMessageSize, &length, &instance.overlapped)) {
            // An empty message means nothing and leaves the connection open.
            if (length > 0) serve(instance, length, received);
            continue;
        }
        if (GetLastError() != ERROR_IO_PENDING) return false;
        instance.pending = true;
        return true;
    }
}

}  // namespace

void runPipeServer(PipeHandler received, void (*watcherGone)()) {
    if (!stopEvent() || !noticeEvent()) return;
    const auto end = [watcherGone](Instances::iterator instance) {
        const bool watching = (*instance)->peer.watching;
        instance->reset();
        if (watching && watcherGone) watcherGone();
    };
    Instances instances;
    std::vector<HANDLE> waits;
    DWORD retryMs = kRetryFirstMs;
    while (!stopRequested()) {
        // Always one instance waiting for the next client; a flood of silent clients gives up its own
        // oldest connection for it.
        const bool listening = !instances.empty() && !instances.back()->connected;
        int64_t listenFrom = 0;  // every instance taken by a young connection: none waits till then
        if (!listening) {
            if (instances.size() >= kInstancesMax) {
                const Eviction eviction = evictionFor(
                    instances.size(), [&](size_t i) { return &instances[i]->peer; }, now());
                if (eviction.index == instances.size()) {
                    listenFrom = eviction.waitUntil;
                } else {
                    const auto oldest = instances.begin() + static_cast<std::ptrdiff_t>(eviction.index);
                    end(oldest);
                    instances.erase(oldest);
                }
            }
            if (listenFrom == 0) {
                if (auto instance = listen(instances.empty())) {
                    instances.push_back(std::move(instance));
                    retryMs = kRetryFirstMs;
                } else if (instances.empty()) {
                    ++refusals;
                    WaitForSingleObject(stopEvent(), retryMs);
                    retryMs = std::min(retryMs * 2, kRetryLongestMs);
                    continue;
                }
            }
        }
        waits.assign({stopEvent(), noticeEvent()});
        for (const auto& instance : instances) waits.push_back(instance->overlapped.hEvent);
        int64_t wake = nextQuietDeadline(instances.size(), [&](size_t i) -> const PipePeer* {
            return instances[i]->connected ? &instances[i]->peer : nullptr;
        });
        if (listenFrom != 0 && (wake < 0 || listenFrom < wake)) wake = listenFrom;
        const int64_t before = now();
        const DWORD timeout = wake < 0 ? INFINITE : wake > before ? static_cast<DWORD>(wake - before) : 0;
        const DWORD waited =
            WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, timeout);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_FAILED) break;
        if (waited == WAIT_OBJECT_0 + 1) {
            for (const auto& instance : instances) {
                if (instance->peer.watching) reply(*instance, kPipeNoticeMessage);
            }
        }
        // Which instances are ready, looked at from the newest to the oldest, then served from the
        // oldest: whatever a client sent on an older connection before it opened a newer one is seen
        // and handled first, so each client's messages keep their order.
        std::vector<bool> ready(instances.size(), false);
        for (size_t i = instances.size(); i-- > 0;)
            ready[i] = WaitForSingleObject(instances[i]->overlapped.hEvent, 0) == WAIT_OBJECT_0;
        const int64_t then = now();
        Instances kept;
        for (size_t i = 0; i < instances.size(); ++i) {
            Instance& instance = *instances[i];
            bool open = true;
            if (ready[i])
                open = advance(instance, received);
            else if (instance.connected && peerSilentTooLong(instance.peer, then))
                open = false;
            if (open)
                kept.push_back(std::move(instances[i]));
            else
                end(instances.begin() + static_cast<std::ptrdiff_t>(i));
        }
        // The instance waiting for a client, if still waiting, stays the newest.
        instances = std::move(kept);
    }
    instances.clear();
    // Stopped: a later server (a test's) starts afresh.
    ResetEvent(stopEvent());
}

int pipeNameRefusals() {
    return refusals.load();
}

void stopPipeServer() {
    if (stopEvent()) SetEvent(stopEvent());
}

void notifyPipeWatchers() {
    if (noticeEvent()) SetEvent(noticeEvent());
}

namespace {

// Opens the pipe for `access`. When every instance is busy it waits a moment for the server's next
// one; a name that is missing altogether is looked for again only briefly (Wine reports the moment
// between two instances that way), so that a panel without a main instance is never held up long.
// Identification-level impersonation only: the server can never act as this client.
HANDLE openPipe(DWORD access, DWORD flags) {
    const ULONGLONG start = GetTickCount64();
    bool served = false;  // the server was seen: busy, not missing
    for (;;) {
        HANDLE pipe = CreateFileA(sessionPipeName().c_str(), access, 0, nullptr, OPEN_EXISTING,
                                  flags | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return pipe;
        DWORD error = GetLastError();
        const ULONGLONG waited = GetTickCount64() - start;
        // Once seen busy, a server between two instances is still busy.
        if (error == ERROR_PIPE_BUSY) served = true;
        if (served && error == ERROR_FILE_NOT_FOUND) error = ERROR_PIPE_BUSY;
        if (error == ERROR_PIPE_BUSY && waited < kClientWaitMs) {
            if (!WaitNamedPipeA(sessionPipeName().c_str(), static_cast<DWORD>(kClientWaitMs - waited)))
                Sleep(1);
        } else if (error == ERROR_PIPE_BUSY && waited < kClientWaitMs + kCrowdWaitMs) {
            // A wait that ran out means a crowd of clients at once: it is made once more, as a
            // spread of short pauses, since a free instance wakes every client in a wait for it and
            // all but one of them then find it taken again.
            Sleep(10 + (GetCurrentThreadId() + static_cast<DWORD>(waited)) % 20);
        } else if (error == ERROR_FILE_NOT_FOUND && waited < kMissingWaitMs) {
            Sleep(1);
        } else {
            return INVALID_HANDLE_VALUE;
        }
    }
}

}  // namespace

bool sendPipeMessage(const std::string& message) {
    // The server would drop it whole; it need not hold an instance for that.
    if (message.size() > kMessageSize) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE pipe = openPipe(GENERIC_WRITE, 0);
        if (pipe == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const bool sent =
            WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), &written, nullptr) &&
            written == message.size();
        const DWORD error = GetLastError();
        CloseHandle(pipe);
        if (sent) return true;
        // The server closed this instance before it was written to: once more on a new one.
        if (error != ERROR_NO_DATA && error != ERROR_PIPE_NOT_CONNECTED && error != ERROR_BROKEN_PIPE)
            return false;
    }
    return false;
}

std::optional<std::string> pipeRequest(const std::string& message, int timeoutMs) {
    if (message.size() > kMessageSize) return std::nullopt;
    HANDLE pipe = openPipe(GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    if (pipe == INVALID_HANDLE_VALUE) return std::nullopt;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    std::optional<std::string> result;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto finish = [&](BOOL started, DWORD& count, DWORD waitMs) {
        if (!started && GetLastError() != ERROR_IO_PENDING) return false;
        if (WaitForSingleObject(overlapped.hEvent, waitMs) != WAIT_OBJECT_0) CancelIoEx(pipe, &overlapped);
        return GetOverlappedResult(pipe, &overlapped, &count, TRUE) != 0;
    };
    if (overlapped.hEvent) {
        const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs > 0 ? timeoutMs : 0);
        DWORD count = 0;
        if (finish(WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), nullptr, &overlapped),
                   count, static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0)) &&
            count == message.size()) {
            std::string buffer(kPipeReplyMax, '\0');
            ResetEvent(overlapped.hEvent);
            const ULONGLONG now = GetTickCount64();
            const DWORD left = until > now ? static_cast<DWORD>(until - now) : 0;
            if (finish(ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &overlapped),
                       count, left) &&
                count > 0) {
                result = buffer.substr(0, count);
            }
        }
        CloseHandle(overlapped.hEvent);
    }
    CloseHandle(pipe);
    return result;
}

bool watchPipe(void (*told)()) {
    if (!watchStopEvent()) return false;
    HANDLE pipe = openPipe(GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    if (pipe == INVALID_HANDLE_VALUE) return false;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool watched = false;
    if (overlapped.hEvent) {
        const std::string_view watch = kPipeWatchMessage;
        DWORD count = 0;
        BOOL done = WriteFile(pipe, watch.data(), static_cast<DWORD>(watch.size()), nullptr, &overlapped);
        if (done || GetLastError() == ERROR_IO_PENDING)
            done = GetOverlappedResult(pipe, &overlapped, &count, TRUE);
        watched = done && count == watch.size();
        if (watched) told();
        char buffer[64];
        const HANDLE waits[2] = {overlapped.hEvent, watchStopEvent()};
        while (watched) {
            ResetEvent(overlapped.hEvent);
            if (!ReadFile(pipe, buffer, sizeof buffer, nullptr, &overlapped) &&
                GetLastError() != ERROR_IO_PENDING)
                break;
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIoEx(pipe, &overlapped);
                GetOverlappedResult(pipe, &overlapped, &count, TRUE);
                break;
            }
            // A notice too long for the buffer still tells; anything else ends the watch.
            if (!GetOverlappedResult(pipe, &overlapped, &count, FALSE) && GetLastError() != ERROR_MORE_DATA)
                break;
            told();
        }
        CloseHandle(overlapped.hEvent);
    }
    CloseHandle(pipe);
    if (WaitForSingleObject(watchStopEvent(), 0) == WAIT_OBJECT_0) ResetEvent(watchStopEvent());
    return watched;
}

void stopPipeWatch() {
    if (watchStopEvent()) SetEvent(watchStopEvent());
}

}  // namespace plat
