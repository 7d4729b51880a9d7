// Why the webview library does not load, told from the loader's own answer, with real files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace {

std::string folder() {
    const char* tmp = std::getenv("RAVELIN_TEST_TMP");
    return tmp ? tmp : "/tmp";
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The shipped library with the name of one library it needs changed (same length), so that the
// loader cannot find that one: the problem names it. A file that is no library, and no file at all,
// are told apart from that.
TEST(X11Libraries, TheMissingFileOrLibraryItNeedsIsNamed) {
    std::string program = plat::exePath();
    std::string shipped = program.substr(0, program.rfind('/')) + "/../" + plat::webviewLibraryFile;
    std::string bytes = readBytes(shipped);
    ASSERT_FALSE(bytes.empty()) << shipped;
    size_t needed = bytes.find(std::string("libwebkitgtk-6.0.so.4\0", 22));
    ASSERT_NE(needed, std::string::npos);
    bytes.replace(needed, 21, "libravelinxx-6.0.so.4");
    std::string patched = folder() + "/libwebview-patched.so";
    std::ofstream(patched, std::ios::binary) << bytes;

    EXPECT_EQ(plat::openLibrary(patched), nullptr);
    plat::LibraryProblem problem = plat::libraryProblem(patched);
    EXPECT_EQ(problem.kind, plat::LibraryProblem::Kind::DependencyMissing);
    EXPECT_EQ(problem.detail, "libravelinxx-6.0.so.4");

    std::string text = folder() + "/not-a-library.so";
    std::ofstream(text) << "text";
    problem = plat::libraryProblem(text);
    EXPECT_EQ(problem.kind, plat::LibraryProblem::Kind::Other);
    EXPECT_NE(problem.detail.find("not-a-library.so"), std::string::npos) << problem.detail;

    EXPECT_EQ(plat::libraryProblem(folder() + "/absent.so").kind, plat::LibraryProblem::Kind::FileMissing);
}

}  // namespace
