// Linux panel pipe: a SOCK_SEQPACKET Unix socket, which keeps every message whole, in the user's runtime
// folder (else the temporary folder, with the user id in the name), usable by this user alone. The server serves one
// connection at a time; what clients send meanwhile waits in the listen queue, and a client that finds
// the queue full fails at once: a client never waits. A stop is an eventfd polled with the sockets.
#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/x11/x_util.h"

namespace plat::x11 {
namespace {

constexpr size_t kMessageMax = 511;  // longer messages are dropped whole
constexpr int kRetryMs = 50;         // pause before another attempt to set up the socket
constexpr int kListenQueue = 8;

// The stop request. A stop ends one run of the server; a stop given before the server starts ends it
// as soon as it starts.
StopSignal pipeStop;

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

// Connects without waiting: a server whose listen queue is full refuses at once.
int connectTo(const sockaddr_un& address) {
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
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
            if (!S_ISSOCK(existing.st_mode) || existing.st_uid != getuid()) return false;
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
    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// Reads the messages of one connection in order until the client closes it, a message is too long,
// or a stop comes.
void serve(int connection, void (*received)(const char* bytes, size_t length)) {
    char buffer[kMessageMax + 1];
    for (;;) {
        if (!pipeStop.waitReadable(connection, -1)) return;
        iovec part{buffer, kMessageMax};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        // MSG_TRUNC: the length of the whole message, so that a longer one is known and dropped.
        const ssize_t length = recvmsg(connection, &message, MSG_TRUNC | MSG_DONTWAIT);
        if (length < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (length <= 0) return;  // closed by the client (or an empty message, which means nothing)
        if (static_cast<size_t>(length) > kMessageMax || (message.msg_flags & MSG_TRUNC)) return;
        buffer[length] = '\0';
        received(buffer, static_cast<size_t>(length));
    }
}

}  // namespace
}  // namespace plat::x11

namespace plat {

void runPipeServer(void (*received)(const char* bytes, size_t length)) {
    {
        x11::Listener listener;
        while (!x11::pipeStop.requested()) {
            if (!listener.open()) {
                x11::pipeStop.waitReadable(-1, x11::kRetryMs);
                continue;
            }
            if (!x11::pipeStop.waitReadable(listener.fd(), -1)) continue;
            const int connection = accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                // A client that gave up is nothing; running out of descriptors must not spin.
                if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED)
                    x11::pipeStop.waitReadable(-1, x11::kRetryMs);
                continue;
            }
            if (x11::peerIsThisUser(connection)) x11::serve(connection, received);
            close(connection);
        }
    }
    x11::pipeStop.consume();
}

void stopPipeServer() {
    x11::pipeStop.request();
}

bool sendPipeMessage(const std::string& message) {
    const int fd = x11::connectTo(x11::addressOf(x11::socketPath()));
    if (fd < 0) return false;
    // A socket of another user (someone else's file in /tmp) never gets the message.
    bool sent = false;
    if (x11::peerIsThisUser(fd)) {
        ssize_t written = -1;
        do {
            written = send(fd, message.data(), message.size(), MSG_NOSIGNAL);
        } while (written < 0 && errno == EINTR);
        sent = written >= 0 && static_cast<size_t>(written) == message.size();
    }
    close(fd);
    return sent;
}

}  // namespace plat
