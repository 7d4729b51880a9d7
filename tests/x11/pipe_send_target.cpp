// Sends one message to the main instance's panel socket, as a panel does:
//   pipe_send_target MESSAGE
// Exit code 0 when the message was sent whole, 1 when no server took it, 2 on wrong use.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pipe_send_target MESSAGE\n");
        return 2;
    }
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
    const size_t length = std::strlen(argv[1]);
    const bool sent = send(fd, argv[1], length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
    close(fd);
    return sent ? 0 : 1;
}
