#include "state/macro_library.h"

#include <filesystem>
#include <fstream>

#include "support/fresh_state.h"

namespace {

rv::MacroFile sample(size_t steps) {
    rv::MacroFile file;
    for (size_t i = 0; i < steps; ++i)
        file.events.push_back(
            {rv::kAbsoluteMove, static_cast<double>(i) * 0.25, static_cast<int32_t>(i), 7, 0, 0, false, 0});
    return file;
}

class MacroLibrary : public FreshState {
  protected:
    std::string macroPath(const std::string& name) const { return "Tapforge/macros/" + name + ".rvm"; }
    bool has(const std::string& name) const { return std::filesystem::exists(inFolder(macroPath(name))); }
};

TEST_F(MacroLibrary, SaveListLoadRenameDuplicateDelete) {
    EXPECT_TRUE(rv::listMacros().empty());
    ASSERT_EQ("", rv::saveLibraryMacro("Log in", sample(3), false));
    EXPECT_EQ(0u, readFile(macroPath("Log in")).find("Ravelin macro 1\r\nname Log in\r\n"));
    // A second save under the same name replaces it only when asked to.
    EXPECT_NE("", rv::saveLibraryMacro("Log in", sample(5), false));
    ASSERT_EQ("", rv::saveLibraryMacro("Log in", sample(5), true));

    std::vector<rv::MacroEntry> list = rv::listMacros();
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("Log in", list[0].name);
    EXPECT_EQ(5u, list[0].steps);
    EXPECT_EQ(1000000, list[0].lengthUs);
    EXPECT_GT(list[0].modified, 1600000000);
    EXPECT_EQ("", list[0].problem);

    std::string copy;
    ASSERT_EQ("", rv::duplicateLibraryMacro("Log in", copy));
    EXPECT_EQ("Log in copy", copy);
    copy.clear();
    ASSERT_EQ("", rv::duplicateLibraryMacro("Log in", copy));
    EXPECT_EQ("Log in copy 2", copy);
    EXPECT_NE("", rv::renameLibraryMacro("Log in copy", "Log in")) << "never over another macro";
    ASSERT_EQ("", rv::renameLibraryMacro("Log in copy", "Sign in"));
    EXPECT_FALSE(has("Log in copy"));
    EXPECT_EQ("", rv::deleteLibraryMacro("Log in copy 2"));
    EXPECT_NE("", rv::deleteLibraryMacro("Log in copy 2"));

    list = rv::listMacros();
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ("Log in", list[0].name);
    EXPECT_EQ("Sign in", list[1].name);
    rv::MacroFile loaded;
    ASSERT_EQ("", rv::loadLibraryMacro("Sign in", loaded));
    EXPECT_EQ(5u, loaded.events.size());
    EXPECT_EQ(4, loaded.events[4].x);
}

// Names that would leave the folder, name a device or break the file name are refused before any
// file is touched.
TEST_F(MacroLibrary, UnsafeNamesTouchNoFile) {
    ASSERT_EQ("", rv::saveLibraryMacro("keep", sample(1), false));
    for (const char* name : {"../keep", "..", "CON", "a/b", "a\\b", "nul.rvm", ""}) {
        SCOPED_TRACE(name);
        EXPECT_NE("", rv::saveLibraryMacro(name, sample(1), true));
        EXPECT_NE("", rv::renameLibraryMacro("keep", name));
        rv::MacroFile file;
        EXPECT_NE("", rv::loadLibraryMacro(name, file));
        EXPECT_NE("", rv::deleteLibraryMacro(name));
    }
    EXPECT_TRUE(has("keep"));
    EXPECT_FALSE(std::filesystem::exists(inFolder("Tapforge/keep.rvm")));
    EXPECT_EQ(1u, rv::listMacros().size());
}

TEST_F(MacroLibrary, ImportAndExportKeepTheBytesAndRefuseBadFiles) {
    const std::string text = "Ravelin macro 1\n# hand-made, kept as it is\n0 move 1 2\n";
    writeFile("outside/Wave hello.rvm", text);
    std::string name;
    ASSERT_EQ("", rv::importMacro(inFolder("outside/Wave hello.rvm"), name));
    EXPECT_EQ("Wave hello", name);
    EXPECT_EQ(text, readFile(macroPath("Wave hello")));
    ASSERT_EQ("", rv::importMacro(inFolder("outside/Wave hello.rvm"), name));
    EXPECT_EQ("Wave hello 2", name);
    // A file name that cannot be a macro name takes the header's.
    writeFile("outside/dots..rvm", "Ravelin macro 1\nname From the header\n0 move 1 2\n");
    ASSERT_EQ("", rv::importMacro(inFolder("outside/dots..rvm"), name));
    EXPECT_EQ("From the header", name);

    ASSERT_EQ("", rv::exportMacro("Wave hello", inFolder("outside/out.rvm"), false));
    EXPECT_EQ(text, readFile("outside/out.rvm"));
    EXPECT_NE("", rv::exportMacro("Wave hello", inFolder("outside/out.rvm"), false))
        << "never over a file unasked";
    EXPECT_EQ("", rv::exportMacro("Wave hello", inFolder("outside/out.rvm"), true));
    EXPECT_NE("", rv::exportMacro("Wave hello", inFolder("no such folder/out.rvm"), true));

    // Bad files: each refused with a sentence, nothing added to the library.
    writeFile("outside/empty.rvm", "");
    writeFile("outside/binary.rvm", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    writeFile("outside/unknown.rvm", "Ravelin macro 1\n0 teleport 5 5\n");
    writeFile("outside/year.rvm", "Ravelin macro 1\n31536000000 move 5 5\n");
    writeFile("outside/far.rvm", "Ravelin macro 1\n0 move 99999999999 5\n");
    writeFile("outside/long line.rvm", "Ravelin macro 1\n0 move 1 1\n# " + std::string(1 << 20, 'x') + "\n");
    {
        std::ofstream huge(inFolder("outside/huge.rvm"), std::ios::binary);
        huge << "Ravelin macro 1\n";
    }
    std::filesystem::resize_file(inFolder("outside/huge.rvm"), 200u * 1024 * 1024);
    const std::pair<const char*, const char*> refused[] = {
        {"empty.rvm", "empty"},
        {"binary.rvm", "not a Ravelin macro file"},
        {"unknown.rvm", "line 2: unknown step"},
        {"year.rvm", "line 2: the wait"},
        {"far.rvm", "line 2: X"},
        {"long line.rvm", "line 3: the line is 1048578 bytes long"},
        {"huge.rvm", "200 MB"},
        {"missing.rvm", "There is no file"},
    };
    for (const auto& [file, says] : refused) {
        SCOPED_TRACE(file);
        std::string problem = rv::importMacro(inFolder(std::string("outside/") + file), name);
        EXPECT_NE(problem.find(says), std::string::npos) << problem;
    }
    EXPECT_EQ(3u, rv::listMacros().size());
}

// A file someone broke by hand stays in the list, saying why it cannot be loaded.
TEST_F(MacroLibrary, ListShowsWhyABrokenFileCannotBeLoaded) {
    writeFile(macroPath("broken"), "Ravelin macro 1\n0 move 1\n");
    writeFile("Tapforge/macros/notes.txt", "not a macro");
    std::vector<rv::MacroEntry> list = rv::listMacros();
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("line 2: \"move\" needs 2 values after it", list[0].problem);
    rv::MacroFile file;
    EXPECT_NE("", rv::loadLibraryMacro("broken", file));
    // Mended, it is read again.
    writeFile(macroPath("broken"), "Ravelin macro 1\n0 move 1 1\n1 move 2 2\n");
    std::filesystem::last_write_time(inFolder(macroPath("broken")),
                                     std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5));
    list = rv::listMacros();
    EXPECT_EQ("", list[0].problem);
    EXPECT_EQ(2u, list[0].steps);
}

}  // namespace
