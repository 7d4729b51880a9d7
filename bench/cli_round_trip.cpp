// The round trip of one ravelin-cli command: the client's whole path (reading the command, the pipe
// request, the main instance's answer, the reply turned into text) against a pipe server of this
// process that serves the real messages, 200 calls each of a read (status) and a change (set), and
// the same through a started ravelin-cli process (what a key binding or a script waits for). The
// server's socket lies in a temporary runtime folder, so a running Ravelin is never reached. On a
// display (tests/support/with_xvfb.sh) the control thread runs too, and a switch (toggle clicker,
// which answers once the control thread has carried it out) is measured as well; the clicker's worker
// does not run, so nothing is clicked.
//
//   cli_round_trip in_process status p50_ms=… p99_ms=… max_ms=… n=200 missed=0
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/cli.h"
#include "bench/percentile.h"
#include "bridge/panel_messages.h"
#include "engine/control.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"

extern char** environ;

namespace {

constexpr int kCalls = 200;

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bench::Figures inProcess(const std::vector<std::string>& words) {
    bench::Figures figures;
    for (int i = 0; i < kCalls; ++i) {
        std::string out, err;
        const auto start = std::chrono::steady_clock::now();
        const int code = rv::runCli(words, out, err);
        if (code != rv::kCliDone) {
            ++figures.missed;
            continue;
        }
        figures.ms.push_back(msSince(start));
    }
    return figures;
}

bench::Figures asProcess(const std::string& client, const std::vector<std::string>& words) {
    bench::Figures figures;
    std::vector<std::string> args = {client};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    for (int i = 0; i < kCalls; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        int status = 0;
        if (posix_spawn(&pid, client.c_str(), &actions, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++figures.missed;
            continue;
        }
        figures.ms.push_back(msSince(start));
    }
    posix_spawn_file_actions_destroy(&actions);
    return figures;
}

}  // namespace

int main() {
    char folder[] = "/tmp/ravelin-cli-bench.XXXXXX";
    if (!mkdtemp(folder)) return 1;
    setenv("XDG_RUNTIME_DIR", folder, 1);
    rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
    std::thread server([] { plat::runPipeServer(&rv::servePanelMessage); });
    // The server is up once it answers.
    for (int i = 0; i < 200 && !plat::pipeRequest("getStatus|", 100); ++i) plat::sleepMs(5);

    const bool display = std::getenv("DISPLAY") != nullptr;
    std::thread control;
    if (display) control = std::thread(&rv::controlThread);

    bench::print("cli_round_trip", "in_process status", inProcess({"status"}));
    bench::print("cli_round_trip", "in_process set", inProcess({"set", "sms=100"}));
    if (display)
        bench::print("cli_round_trip", "in_process toggle clicker", inProcess({"toggle", "clicker"}));
    const std::string client =
        (std::filesystem::path(plat::exePath()).parent_path().parent_path() / "ravelin-cli").string();
    if (std::filesystem::exists(client)) {
        bench::print("cli_round_trip", "process status", asProcess(client, {"status"}));
        bench::print("cli_round_trip", "process set", asProcess(client, {"set", "sms=100"}));
    } else {
        std::printf("cli_round_trip process: %s is missing\n", client.c_str());
    }
    if (display)
        bench::print("cli_round_trip", "process toggle clicker", asProcess(client, {"toggle", "clicker"}));
    rv::appRunning = false;
    rv::wakeAll();
    if (control.joinable()) control.join();
    plat::stopPipeServer();
    server.join();
    std::filesystem::remove_all(folder);
    return 0;
}
