// Linux panel pipe: a SOCK_SEQPACKET Unix socket, which keeps every message whole, in the user's runtime
// folder (else the temporary folder, with the user id in the name), usable by this user alone. The
// server polls every open connection at once, so a client that says nothing holds up nobody and is
// closed after a quiet second; a client waits at most a moment for room in the listen queue. A stop
// is an eventfd polled with the sockets.
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pipe_peers.h"
#include "platform/platform.h"
#include "platform/x11/fd_wait.h"

namespace plat::x11 {
namespace {

constexpr size_t kMessageMax = kPipeMessageMax;  // longer messages are dropped whole
constexpr int kRetryMs = 50;                     // pause before another attempt to set up the socket
constexpr int kListenQueue = 128;
constexpr int kClientWaitMs = 250;  // a client waits this long at most for room
// Open at once, each one descriptor: a few hundred clients at once are all served (beyond, the rules
// of pipe_peers.h).
constexpr size_t kConnectionsMax = 512;
constexpr int kMessagesPerTurn = 32;  // one busy client cannot starve the others

// The stop request. A stop ends one run of the server; a stop given before the server starts ends it
// as soon as it starts.
StopSignal pipeStop;
// A notice for the watching connections, waiting for the server thread; and the end of a watch.
StopSignal watchNotice;
StopSignal watchStop;

constexpr size_t kTemporarySuffixMax = 16;  // ".new-" and a process id

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path - 1));
    return address;
}

// The socket's path: $XDG_RUNTIME_DIR/TapmillIPC when that variable holds an absolute path short
// enough for a socket address (with room for the server's temporary name), else TapmillIPC-<uid> in
// $TMPDIR under the same conditions, else in /tmp. Panel instances inherit the main instance's
// environment, so both ends agree.
std::string socketPath() {
    const auto fits = [](const std::string& path) {
        return path.size() + kTemporarySuffixMax < sizeof(sockaddr_un{}.sun_path);
    };
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        std::string path = std::string(runtime) + "/TapmillIPC";
        if (fits(path)) return path;
    }
    const std::string name = "/TapmillIPC-" + std::to_string(getuid());
    const char* temporary = std::getenv("TMPDIR");
    if (temporary && temporary[0] == '/') {
        std::string path = std::string(temporary) + name;
        if (fits(path)) return path;
    }
    return "/tmp" + name;
}

bool peerIsThisUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid();
}

// Connects to the server. With `waitMs` 0 a server whose listen queue is full refuses at once;
// otherwise the connect, and later sends on the socket, wait at most that long for room.
int connectTo(const sockaddr_un& address, int waitMs = 0) {
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | (waitMs > 0 ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0) return -1;
    if (waitMs > 0) {
        const timeval limit{waitMs / 1000, (waitMs % 1000) * 1000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    int result;
    do {
        result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Credentials ride along with every message (SO_PASSCRED): they tell an empty message, which is
// skipped, from the end of the connection, which reads as zero bytes too.
void passCredentials(int fd) {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
}

// The server's listening socket. It takes over a socket file left behind by a server that died, but
// never one that a live server still answers on, nor anything that is not this user's socket.
class Listener {
  public:
    Listener() = default;
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener() { closeAndRemove(); }

    int fd() const { return fd_; }

    // The socket is made under a temporary name, given its mode, made to listen, and only then renamed
    // into place (replacing a dead server's file in one step), so that a client never finds a socket
    // there that nobody answers on, nor one that is open to others.
    bool open() {
        if (fd_ >= 0) return true;
        path_ = socketPath();
        struct stat existing {};
        if (lstat(path_.c_str(), &existing) == 0) {
            if (!S_ISSOCK(existing.st_mode) || existing.st_uid != getuid()) {
                if (!moveAside(existing)) return false;
                return open();
            }
            const int probe = connectTo(addressOf(path_));
            if (probe >= 0) {
                close(probe);
                return false;  // another server is live on it
            }
            if (errno != ECONNREFUSED) return false;  // EAGAIN: live but busy
        }
        const std::string temporary = path_ + ".new-" + std::to_string(getpid());
        const sockaddr_un address = addressOf(temporary);
        unlink(temporary.c_str());
        fd_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0) return false;
        passCredentials(fd_);
        struct stat bound {};
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            chmod(temporary.c_str(), 0600) != 0 || listen(fd_, kListenQueue) != 0 ||
            stat(temporary.c_str(), &bound) != 0 || rename(temporary.c_str(), path_.c_str()) != 0) {
            unlink(temporary.c_str());
            close(fd_);
            fd_ = -1;
            return false;
        }
        device_ = bound.st_dev;
        inode_ = bound.st_ino;
        return true;
    }

    // Removes the socket file only while it is still the one this server made.
    void closeAndRemove() {
        if (fd_ < 0) return;
        struct stat now {};
        if (lstat(path_.c_str(), &now) == 0 && now.st_dev == device_ && now.st_ino == inode_)
            unlink(path_.c_str());
        close(fd_);
        fd_ = -1;
    }

  private:
    // Anything else under the socket's name (a file, a folder, a link, another user's socket) would
    // keep every panel from reaching the main instance. It may hold something of the user's, so it
    // is renamed, not removed, and the user is told where it went; or, when it cannot be moved (another
    // user's file in a shared folder), told once that the pipe is down and why.
    bool moveAside(const struct stat& existing) {
        const std::string what = S_ISLNK(existing.st_mode)    ? "a symbolic link"
                                 : S_ISDIR(existing.st_mode)  ? "a folder"
                                 : S_ISREG(existing.st_mode)  ? "a file"
                                 : S_ISSOCK(existing.st_mode) ? "another user's socket"
                                                              : "a special file";
        const std::string base = path_ + ".unusable-" + std::to_string(time(nullptr));
        std::string aside = base;
        struct stat taken {};
        for (int n = 2; lstat(aside.c_str(), &taken) == 0 && n < 100; ++n)
            aside = base + "-" + std::to_string(n);
        if (rename(path_.c_str(), aside.c_str()) == 0) {
            errorBox("Ravelin",
                     path_ + " was " + what + ", not the panel pipe; it was moved to " + aside + ".");
            return true;
        }
        if (!toldStuck_) {
            toldStuck_ = true;
            errorBox("Ravelin", "The panel pipe cannot be set up: " + path_ + " is " + what +
                                    " and cannot be moved (" + std::strerror(errno) +
                                    "). Pop-out panels cannot reach the main window until it is removed.");
        }
        return false;
    }

    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool toldStuck_ = false;
};

struct Connection {
    int fd;
    PipePeer peer;  // monotonic milliseconds
};

void sendNotice(const Connection& connection) {
    const std::string_view notice = kPipeNoticeMessage;
    // A watcher too far behind to take it has notices waiting already: one more adds nothing.
    while (send(connection.fd, notice.data(), notice.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
           errno == EINTR) {
    }
}

// Reads what one readable connection has sent, in order, and answers each message that asks for a
// reply. False when the connection is over: closed by the client, or a message was too long.
bool serveReadable(Connection& connection, PipeHandler received) {
    char buffer[kMessageMax + 1];
    char control[CMSG_SPACE(sizeof(ucred))];
    for (int turn = 0; turn < kMessagesPerTurn; ++turn) {
        iovec part{buffer, kMessageMax};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        // MSG_TRUNC: the length of the whole message, so that a longer one is known and dropped.
        const ssize_t length = recvmsg(connection.fd, &message, MSG_TRUNC | MSG_DONTWAIT);
        if (length < 0) return errno == EINTR || errno == EAGAIN;
        if (length == 0) {
            if (CMSG_FIRSTHDR(&message) == nullptr) return false;  // the client closed its end
            continue;                                              // an empty message means nothing
        }
        if (static_cast<size_t>(length) > kMessageMax || (message.msg_flags & MSG_TRUNC)) return false;
        if (peerHeard(connection.peer, std::string_view(buffer, static_cast<size_t>(length)), monotonicMs()))
            continue;
        buffer[length] = '\0';
        const std::string reply = received(buffer, static_cast<size_t>(length));
        if (!reply.empty() && reply.size() <= kPipeReplyMax) {
            // The reply fits the socket's buffer; a client that reads nothing is not waited for.
            while (send(connection.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
                   errno == EINTR) {
            }
        }
    }
    return true;
}

}  // namespace
}  // namespace plat::x11

namespace plat {

void runPipeServer(PipeHandler received, void (*watcherGone)()) {
    {
        x11::Listener listener;
        std::vector<x11::Connection> connections;  // in the order they were accepted
        std::vector<pollfd> fds;
        const int stopFd = x11::pipeStop.pollFd();
        const int noticeFd = x11::watchNotice.pollFd();
        int64_t acceptFrom = 0;  // while full of young connections, newcomers wait until then
        while (!x11::pipeStop.requested()) {
            if (!listener.open()) {
                x11::pipeStop.waitReadable(-1, x11::kRetryMs);
                continue;
            }
            fds.clear();
            fds.push_back({stopFd, POLLIN, 0});
            const bool accepting = x11::monotonicMs() >= acceptFrom;
            fds.push_back({listener.fd(), static_cast<short>(accepting ? POLLIN : 0), 0});
            fds.push_back({noticeFd, POLLIN, 0});
            for (const x11::Connection& connection : connections) fds.push_back({connection.fd, POLLIN, 0});
            int64_t wake =
                nextQuietDeadline(connections.size(), [&](size_t i) { return &connections[i].peer; });
            if (!accepting && (wake < 0 || acceptFrom < wake)) wake = acceptFrom;
            int timeout = wake < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, wake - x11::monotonicMs()));
            if ((stopFd < 0 || noticeFd < 0) && (timeout < 0 || timeout > x11::kRetryMs))
                timeout = x11::kRetryMs;
            if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
                x11::pipeStop.waitReadable(-1, x11::kRetryMs);
                continue;
            }
            if (x11::pipeStop.requested()) break;
            if (x11::watchNotice.requested()) {
                x11::watchNotice.consume();
                for (const x11::Connection& connection : connections) {
                    if (connection.peer.watching) x11::sendNotice(connection);
                }
            }
            // The connections first, oldest first, and a new one only from the next turn on: a client's
            // next message (on a new connection) is never handled before its last one.
            const int64_t now = x11::monotonicMs();
            size_t kept = 0;
            for (size_t i = 0; i < connections.size(); ++i) {
                x11::Connection& connection = connections[i];
                const short events = fds[i + 3].revents;
                bool open = true;
                if (events & (POLLIN | POLLHUP | POLLERR))
                    open = x11::serveReadable(connection, received);
                else if (peerSilentTooLong(connection.peer, now))
                    open = false;
                if (open) {
                    connections[kept++] = connection;
                } else {
                    close(connection.fd);
                    if (connection.peer.watching && watcherGone) watcherGone();
                }
            }
            connections.resize(kept);
            if (fds[1].revents & POLLIN) {
                for (size_t accepted = 0; accepted < x11::kConnectionsMax; ++accepted) {
                    const int connection =
                        accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                    if (connection < 0) {
                        // Running out of descriptors must not spin.
                        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED)
                            x11::pipeStop.waitReadable(-1, x11::kRetryMs);
                        break;
                    }
                    if (!x11::peerIsThisUser(connection)) {
                        close(connection);
                        continue;
                    }
                    bool full = false;
                    if (connections.size() >= x11::kConnectionsMax) {
                        const Eviction eviction = evictionFor(
                            connections.size(), [&](size_t i) { return &connections[i].peer; },
                            x11::monotonicMs());
                        if (eviction.index == connections.size()) {
                            // This newcomer is kept over the limit; the next ones wait in the listen queue.
                            acceptFrom = eviction.waitUntil;
                            full = true;
                        } else {
                            // What it has sent by now is handled first: a client whose message came
                            // after the last poll has closed its end believing it delivered.
                            x11::Connection& oldest = connections[eviction.index];
                            x11::serveReadable(oldest, received);
                            close(oldest.fd);
                            if (oldest.peer.watching && watcherGone) watcherGone();
                            connections.erase(connections.begin() +
                                              static_cast<std::ptrdiff_t>(eviction.index));
                        }
                    }
                    x11::passCredentials(connection);
                    x11::Connection fresh{connection, {}};
                    peerAccepted(fresh.peer, x11::monotonicMs());
                    connections.push_back(fresh);
                    if (full) break;
                }
            }
        }
        for (const x11::Connection& connection : connections) close(connection.fd);
    }
    x11::pipeStop.consume();
}

void stopPipeServer() {
    x11::pipeStop.request();
}

void notifyPipeWatchers() {
    x11::watchNotice.request();
}

namespace {

// A connection to the server that is known to be this user's, or -1. A server so busy that its
// listen queue stayed full for the whole wait is tried once more.
int connectToServer() {
    int fd = x11::connectTo(x11::addressOf(x11::socketPath()), x11::kClientWaitMs);
    if (fd < 0 && errno == EAGAIN) fd = x11::connectTo(x11::addressOf(x11::socketPath()), x11::kClientWaitMs);
    if (fd < 0) return -1;
    // A socket of another user (someone else's file in /tmp) never gets the message.
    if (!x11::peerIsThisUser(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool sendWhole(int fd, const std::string& message) {
    ssize_t written = -1;
    do {
        written = send(fd, message.data(), message.size(), MSG_NOSIGNAL);
    } while (written < 0 && errno == EINTR);
    return written >= 0 && static_cast<size_t>(written) == message.size();
}

}  // namespace

bool sendPipeMessage(const std::string& message) {
    // A send that finds the server's end already gone was not taken: try again, briefly.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = connectToServer();
        if (fd < 0) return false;
        const bool sent = sendWhole(fd, message);
        const int error = errno;
        close(fd);
        if (sent) return true;
        if (error != EPIPE && error != ECONNRESET) return false;
    }
    return false;
}

std::optional<std::string> pipeRequest(const std::string& message, int timeoutMs) {
    int fd = connectToServer();
    if (fd < 0) return std::nullopt;
    bool sent = sendWhole(fd, message);
    if (!sent && (errno == EPIPE || errno == ECONNRESET)) {
        // The server closed this connection before it was heard (a crowd of newcomers): once more.
        close(fd);
        fd = connectToServer();
        if (fd < 0) return std::nullopt;
        sent = sendWhole(fd, message);
    }
    std::optional<std::string> reply;
    if (sent) {
        const int64_t deadline = x11::monotonicMs() + std::max(0, timeoutMs);
        std::string buffer(kPipeReplyMax + 1, '\0');
        for (;;) {
            pollfd ready{fd, POLLIN, 0};
            const int wait = static_cast<int>(std::max<int64_t>(0, deadline - x11::monotonicMs()));
            const int polled = poll(&ready, 1, wait);
            if (polled < 0 && errno == EINTR) continue;
            if (polled <= 0) break;
            const ssize_t length = recv(fd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT);
            if (length < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (length > 0 && static_cast<size_t>(length) <= kPipeReplyMax)
                reply = buffer.substr(0, static_cast<size_t>(length));
            break;
        }
    }
    close(fd);
    return reply;
}

bool watchPipe(void (*told)()) {
    const int fd = connectToServer();
    if (fd < 0) return false;
    if (!sendWhole(fd, kPipeWatchMessage)) {
        close(fd);
        return false;
    }
    told();
    char buffer[64];
    while (x11::watchStop.waitReadable(fd, -1)) {
        const ssize_t length = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (length < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (length <= 0) break;  // the server closed its end
        told();
    }
    close(fd);
    if (x11::watchStop.requested()) x11::watchStop.consume();
    return true;
}

void stopPipeWatch() {
    x11::watchStop.request();
}

}  // namespace plat
