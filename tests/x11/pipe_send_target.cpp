// Sends one message to the main instance's panel socket, as a panel does:
//   pipe_send_target [-r] MESSAGE
// With -r it waits up to 2 s for the reply and prints it. Exit code 0 when the message was sent
// whole (and with -r a reply came), 1 when no server took it, 2 on wrong use.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    const bool reply = argc == 3 && std::strcmp(argv[1], "-r") == 0;
    if (argc != 2 && !reply) {
        std::fprintf(stderr, "usage: pipe_send_target [-r] MESSAGE\n");
        return 2;
    }
    const char* message = argv[argc - 1];
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* temporary = std::getenv("TMPDIR");
    const std::string path = runtime && runtime[0] == '/'
                                 ? std::string(runtime) + "/TapmillIPC"
                                 : std::string(temporary && temporary[0] == '/' ? temporary : "/tmp") +
                                       "/TapmillIPC-" + std::to_string(getuid());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return 1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
    const size_t length = std::strlen(message);
    bool sent = send(fd, message, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
    if (sent && reply) {
        pollfd wait{fd, POLLIN, 0};
        char buffer[65536];
        const ssize_t got = poll(&wait, 1, 2000) == 1 ? recv(fd, buffer, sizeof buffer, 0) : -1;
        sent =
            got > 0 && std::fwrite(buffer, 1, static_cast<size_t>(got), stdout) == static_cast<size_t>(got);
    }
    close(fd);
    return sent ? 0 : 1;
}
