// ravelin-cli's entry point: a console program on Windows, which runs without elevation.
#include <cstdio>

#include "app/cli.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    plat::prepareClientProcess();
    std::string out, err;
    const int code = rv::runCli(plat::commandLineWords(argc, argv), out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    std::fflush(stdout);
    std::fflush(stderr);
    return code;
}
