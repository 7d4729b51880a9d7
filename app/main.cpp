// The program's entry point on both systems (a GUI program on Windows, whose C runtime calls main
// all the same).
#include "app/app.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    plat::prepareProcess();
    return rv::ravelinMain(plat::commandLineArguments(argc, argv));
}
