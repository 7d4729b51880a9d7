#include "bridge/macro_jobs.h"

#include <algorithm>
#include <filesystem>

#include "bridge/panel_messages.h"
#include "state/macro_file.h"
#include "state/macro_library.h"
#include "support/fresh_state.h"

namespace {

class MacroJobs : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::profiles = {rv::Profile{"p", "", recorded(4, 10)}};
    }
    void TearDown() override {
        while (rv::runNextMacroJob()) {
        }
        FreshState::TearDown();
    }
    static std::vector<rv::MacroEvent> recorded(size_t count, int32_t x) {
        std::vector<rv::MacroEvent> events;
        for (size_t i = 0; i < count; ++i)
            events.push_back({rv::kAbsoluteMove, 0.125 * static_cast<double>(i), x, 1, 0, 0, false, 0});
        return events;
    }
    // Calls the page function, runs its job as the worker would, and returns the job's outcome.
    static std::string done(const char* call, const std::string& request) {
        std::string job = callMainBinding(call, request);
        EXPECT_NE("0", job) << call << " " << request;
        EXPECT_EQ("{\"done\":false}", callMainBinding("getMacroJob", "[" + job + "]"));
        EXPECT_TRUE(rv::runNextMacroJob());
        return callMainBinding("getMacroJob", "[" + job + "]");
    }
    static std::string pipe(const std::string& text) {
        return rv::servePanelMessage(text.data(), text.size());
    }
    static int32_t firstX() {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        return rv::profiles[0].events.empty() ? -1 : rv::profiles[0].events[0].x;
    }
};

TEST_F(MacroJobs, SavedMacroLoadsIntoTheProfileAndTheOldRecordingComesBack) {
    EXPECT_EQ("{\"done\":true,\"ok\":true,\"message\":\"Saved \\\"Demo\\\" (4 steps).\",\"name\":\"Demo\"}",
              done("saveMacro", "[\"Demo\",false]"));
    rv::profiles[0].events = recorded(2, 99);
    std::string outcome = done("loadMacro", "[\"Demo\"]");
    EXPECT_NE(outcome.find("\"ok\":true"), std::string::npos) << outcome;
    EXPECT_EQ(4u, rv::profiles[0].events.size());
    EXPECT_EQ(10, firstX());
    // The recording it replaced can be brought back once, as after a recording.
    EXPECT_EQ("2", callMainBinding("getReplacedRecording", "[]"));
    EXPECT_EQ("true", callMainBinding("restoreRecording", "[]"));
    EXPECT_EQ(99, firstX());

    outcome = done("listMacros", "[]");
    EXPECT_NE(outcome.find("\"macros\":[{\"name\":\"Demo\",\"steps\":4,\"lengthMs\":375,"), std::string::npos)
        << outcome;
}

// A file with errors, or a load while recording, leaves the current recording as it is.
TEST_F(MacroJobs, RefusedLoadLeavesTheRecording) {
    writeFile("Tapforge/macros/bad.rvm", "Ravelin macro 1\n0 move 1 1\n5 moonwalk\n");
    std::string outcome = done("loadMacro", "[\"bad\"]");
    EXPECT_NE(outcome.find("\"ok\":false"), std::string::npos);
    EXPECT_NE(outcome.find("line 3: unknown step \\\"moonwalk\\\""), std::string::npos) << outcome;
    EXPECT_EQ(10, firstX());
    EXPECT_EQ("0", callMainBinding("getReplacedRecording", "[]"));

    writeFile("Tapforge/macros/good.rvm", "Ravelin macro 1\n0 move 5 5\n");
    rv::recording = true;
    outcome = done("loadMacro", "[\"good\"]");
    EXPECT_NE(outcome.find("Stop the recording"), std::string::npos) << outcome;
    rv::recording = false;
    EXPECT_EQ(10, firstX());
}

// Paths and names come as JSON strings: escapes are read, commas in them are kept.
TEST_F(MacroJobs, PathsAreReadAsJsonStrings) {
    done("saveMacro", "[\"Demo\",0]");
    std::string target = folder() + "\\/a, b \\u00e9\\ud83d\\ude00 (1).rvm";
    std::string outcome = done("exportMacro", "[\"Demo\",\"" + target + "\",false]");
    EXPECT_NE(outcome.find("\"ok\":true"), std::string::npos) << outcome;
    const std::string file = "a, b \xC3\xA9\xF0\x9F\x98\x80 (1)";
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(folder() + "/" + file + ".rvm")));
    outcome = done("importMacro", "[\"" + target + "\"]");
    EXPECT_NE(outcome.find("\"name\":\"" + file + "\""), std::string::npos) << outcome;
    outcome = done("renameMacro", "[\"Demo\",\"say \\\"hi\\\"\"]");
    EXPECT_NE(outcome.find("cannot hold \\\""), std::string::npos) << outcome;
    // Not a flat array, or too few arguments: no job.
    for (const char* bad :
         {"", "[", "[\"Demo\"", "{\"a\":1}", "[\"\\x\"]", "[[1]]", "[\"a\"]x", "[\"a\" \"b\"]"})
        EXPECT_EQ("0", callMainBinding("loadMacro", bad)) << bad;
    EXPECT_EQ("0", callMainBinding("renameMacro", "[\"Demo\"]"));
    EXPECT_EQ("{\"done\":true,\"ok\":false,\"message\":\"No such job.\",\"name\":\"\"}",
              callMainBinding("getMacroJob", "[123456789]"));
}

TEST_F(MacroJobs, PipeMessagesSaveAndLoadByName) {
    EXPECT_EQ(0u, pipe("saveMacro|../escape").find("{\"refused\":"));
    EXPECT_EQ(0u, pipe("loadMacro|CON").find("{\"refused\":"));
    std::string started = pipe("saveMacro|From pipe");
    ASSERT_EQ(0u, started.find("{\"job\":"));
    EXPECT_TRUE(rv::runNextMacroJob());
    EXPECT_NE(pipe("macroJob|" + started.substr(7, started.size() - 8)).find("\"ok\":true"),
              std::string::npos);
    // Never over an existing macro.
    started = pipe("saveMacro|From pipe");
    EXPECT_TRUE(rv::runNextMacroJob());
    EXPECT_NE(pipe("macroJob|" + started.substr(7, started.size() - 8)).find("exists already"),
              std::string::npos);

    rv::profiles[0].events = recorded(1, 42);
    started = pipe("loadMacro|From pipe");
    EXPECT_TRUE(rv::runNextMacroJob());
    EXPECT_NE(pipe("macroJob|" + started.substr(7, started.size() - 8)).find("\"ok\":true"),
              std::string::npos);
    EXPECT_EQ(10, firstX());
}

// A panel's calls come over the pipe; a long list is cut to what one reply holds.
TEST_F(MacroJobs, PanelCallsComeOverThePipe) {
    for (int i = 0; i < 60; ++i)
        writeFile("Tapforge/macros/macro number " + std::to_string(100 + i) + ".rvm",
                  "Ravelin macro 1\n0 move 1 1\n");
    std::string job = pipe("macroCall|listMacros []");
    ASSERT_NE("0", job);
    EXPECT_EQ("0", pipe("macroCall|listMacros"));
    EXPECT_EQ("0", pipe("macroCall|formatDisk []"));
    EXPECT_TRUE(rv::runNextMacroJob());
    std::string reply = pipe("macroJob|" + job);
    EXPECT_LE(reply.size(), plat::kPipeReplyMax);
    EXPECT_NE(reply.find("\"macros\":[{\"name\":\"macro number 100\""), std::string::npos) << reply;
    size_t at = reply.find("\"more\":");
    ASSERT_NE(at, std::string::npos) << reply;
    size_t listed = 0;
    for (size_t name = reply.find("\"name\":\"macro"); name != std::string::npos;
         name = reply.find("\"name\":\"macro", name + 1))
        ++listed;
    EXPECT_EQ(60u, listed + std::stoul(reply.substr(at + 7)));
    // The page's own call gets the whole list.
    EXPECT_EQ(std::string::npos, rv::macroJobText(std::stoll(job)).find("\"more\""));
}

// A panel's page reads a long list a reply at a time, through the panel instance's calls: every
// macro comes once, whole and in order, whatever its name holds, and one that cannot be read keeps
// its list entry short enough for a reply.
TEST_F(MacroJobs, APanelReadsALongListInParts) {
    std::vector<std::string> names;
    for (int i = 0; i < 70; ++i) names.push_back("macro number " + std::to_string(100 + i));
    names.push_back("a},{b [c]");
    for (const std::string& name : names)
        writeFile("Tapforge/macros/" + name + ".rvm", "Ravelin macro 1\n0 move 1 1\n");
    names.push_back("broken");
    writeFile("Tapforge/macros/broken.rvm", "Ravelin macro 1\n0 " + std::string(5000, 'x') + "\n");
    std::sort(names.begin(), names.end());
    fake::setPipeResponder(&rv::servePanelMessage);

    const std::string job = rv::panelMacroCall("listMacros", "[]");
    ASSERT_NE("0", job);
    EXPECT_TRUE(rv::runNextMacroJob());
    std::vector<std::string> listed;
    std::string reply = rv::panelMacroJob("[" + job + "]");
    for (int replies = 1;; ++replies) {
        ASSERT_LE(reply.size(), plat::kPipeReplyMax);
        ASSERT_LT(replies, 20) << reply;
        const size_t before = listed.size();
        if (replies > 1) {
            EXPECT_NE(std::string::npos, reply.find("\"from\":" + std::to_string(before))) << reply;
        }
        for (size_t at = reply.find("{\"name\":\""); at != std::string::npos;
             at = reply.find("{\"name\":\"", at + 1)) {
            const size_t start = at + 9;
            listed.push_back(reply.substr(start, reply.find('"', start) - start));
        }
        EXPECT_GT(listed.size(), before) << reply;
        const size_t more = reply.find("\"more\":");
        if (replies == 1) {
            ASSERT_NE(std::string::npos, more) << "one reply held every macro";
        }
        if (more == std::string::npos || std::stoul(reply.substr(more + 7)) == 0) break;
        reply = rv::panelMacroJob("[" + job + ",\"macros\"," + std::to_string(listed.size()) + "]");
    }
    EXPECT_EQ(names, listed);
    // The page in the main window gets the whole list in one text.
    EXPECT_EQ(std::string::npos, rv::macroJobText(std::stoll(job)).find("\"more\""));
}

TEST_F(MacroJobs, OpenFolderMakesTheFolderAndShowsIt) {
    EXPECT_NE(done("openMacroFolder", "[]").find("\"ok\":true"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(inFolder("Tapforge/macros")));
    std::vector<std::string> calls = fake::calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "openInFileManager " + rv::macroFolder()), calls.end());
}

TEST_F(MacroJobs, AtMostThirtyTwoJobsWait) {
    for (int i = 0; i < 32; ++i) EXPECT_NE("0", callMainBinding("listMacros", "[]"));
    EXPECT_EQ("0", callMainBinding("listMacros", "[]"));
    EXPECT_EQ(0u, pipe("loadMacro|x").find("{\"refused\":"));
}

}  // namespace

namespace {

// The step editor's copy of the recording: macro text with LF line ends and the key names, handed
// over once.
TEST_F(MacroJobs, EditorReadsTheRecordingAsMacroText) {
    rv::MacroEvent key{rv::kKey, 0.5, 0, 0, 0, 65, true, 0};
    rv::profiles[0].events.push_back(key);
    std::string job = callMainBinding("readRecording", "[]");
    EXPECT_TRUE(rv::runNextMacroJob());
    std::string reply = callMainBinding("getMacroJob", "[" + job + "]");
    EXPECT_NE(reply.find("\"text\":\"Ravelin macro 1\\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\\n125 move 10 1\\n125 move 10 1\\n125 key-down A 65\\n\""), std::string::npos)
        << reply;
    EXPECT_EQ(reply.find("\\r"), std::string::npos);
    EXPECT_NE(reply.find("\"keys\":[\"Key0\","), std::string::npos);
    EXPECT_NE(reply.find(",\"A\",\"B\","), std::string::npos);
    EXPECT_NE(reply.find("\"steps\":5,\"parts\":1,"), std::string::npos);
    // Tens of megabytes for a long recording: given once, then only the outcome.
    EXPECT_EQ(callMainBinding("getMacroJob", "[" + job + "]").find("\"text\""), std::string::npos);

    rv::recording = true;
    EXPECT_NE(done("readRecording", "[]").find("Stop the recording first"), std::string::npos);
    rv::recording = false;
}

// A long recording comes in parts cut at line ends, each handed over once; together they are the
// macro file's text.
TEST_F(MacroJobs, EditorGetsALongRecordingInParts) {
    rv::profiles[0].events = recorded(300000, 1234567);
    std::string job = callMainBinding("readRecording", "[]");
    EXPECT_TRUE(rv::runNextMacroJob());
    auto text = [](const std::string& reply) {
        size_t at = reply.find("\"text\":\"");
        EXPECT_NE(at, std::string::npos) << reply.substr(0, 200);
        std::string part = at == std::string::npos ? "" : reply.substr(at + 8, reply.size() - at - 10);
        std::string plain;
        for (size_t i = 0; i < part.size(); ++i) {
            if (part[i] == '\\' && i + 1 < part.size() && part[i + 1] == 'n')
                plain += '\n', ++i;
            else
                plain += part[i];
        }
        return plain;
    };
    std::string first = callMainBinding("getMacroJob", "[" + job + "]");
    size_t at = first.find("\"parts\":");
    ASSERT_NE(at, std::string::npos);
    const int parts = std::stoi(first.substr(at + 8));
    EXPECT_GE(parts, 2);
    std::string whole = text(first);
    for (int part = 1; part < parts; ++part) {
        std::string piece =
            text(callMainBinding("getMacroJob", "[" + job + "," + std::to_string(part) + "]"));
        EXPECT_EQ(piece.back(), '\n');
        whole += piece;
    }
    EXPECT_NE(callMainBinding("getMacroJob", "[" + job + ",1]").find("is gone"), std::string::npos);

    rv::MacroFile file;
    file.events = rv::profiles[0].events;
    plat::screenSize(file.screenWidth, file.screenHeight);
    std::string expected, problem;
    ASSERT_TRUE(rv::writeMacroText(file, expected, problem));
    expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
    EXPECT_TRUE(whole == expected) << whole.size() << " vs " << expected.size();
}

// The edited recording replaces the profile's whole, like a loaded macro (the old one can be brought
// back), or is refused whole with its problems and line numbers.
TEST_F(MacroJobs, EditorSavesTheWholeRecordingOrNothing) {
    std::string outcome = done(
        "saveRecording", "[\"Ravelin macro 1\\nscreen 800 600\\n0 move 7 8\\n2000.5 key-down A 65\\n\"]");
    EXPECT_NE(outcome.find("\"ok\":true"), std::string::npos) << outcome;
    ASSERT_EQ(2u, rv::profiles[0].events.size());
    EXPECT_EQ(7, firstX());
    EXPECT_DOUBLE_EQ(2.0005, rv::profiles[0].events[1].time);
    EXPECT_EQ(65, rv::profiles[0].events[1].vk);
    EXPECT_EQ("4", callMainBinding("getReplacedRecording", "[]"));

    for (const char* bad : {"[\"Ravelin macro 1\\n0 move 1 1\\n5 jump\\n9 wheel 99999\\n\"]", "[\"\"]", "[]",
                            "{\"not\":\"an array\"}"}) {
        outcome = done("saveRecording", bad);
        EXPECT_NE(outcome.find("\"ok\":false"), std::string::npos) << bad;
        EXPECT_EQ(7, firstX()) << bad;
        EXPECT_EQ("4", callMainBinding("getReplacedRecording", "[]")) << bad;
    }
    EXPECT_NE(outcome.find("did not arrive"), std::string::npos);
    outcome = done("saveRecording", "[\"Ravelin macro 1\\n0 move 1 1\\n5 jump\\n9 wheel 99999\\n\"]");
    EXPECT_NE(outcome.find("line 3: unknown step \\\"jump\\\""), std::string::npos) << outcome;
    EXPECT_NE(outcome.find("line 4: the wheel turn"), std::string::npos) << outcome;

    rv::playing = true;
    EXPECT_NE(
        done("saveRecording", "[\"Ravelin macro 1\\n0 move 1 1\\n\"]").find("Stop the recording or playback"),
        std::string::npos);
    rv::playing = false;
    EXPECT_EQ(7, firstX());
}

// A long edited recording comes in parts: kept until the last, then read as one text (line numbers
// count through the parts); a part out of turn drops what was kept.
TEST_F(MacroJobs, EditorSavesARecordingSentInParts) {
    EXPECT_EQ("true", callMainBinding("saveRecording", "[\"Ravelin macro 1\\n0 move 3 3\\n\",0,3]"));
    EXPECT_EQ("true", callMainBinding("saveRecording", "[\"5 move 4 4\\n\",1,3]"));
    std::string outcome = done("saveRecording", "[\"7 key-down A 65\\n\",2,3]");
    EXPECT_NE(outcome.find("(3 steps)"), std::string::npos) << outcome;
    EXPECT_EQ(3, firstX());
    EXPECT_EQ(4, rv::profiles[0].events[1].x);

    EXPECT_EQ("true", callMainBinding("saveRecording", "[\"Ravelin macro 1\\n0 move 5 5\\n\",0,3]"));
    EXPECT_EQ("0", callMainBinding("saveRecording", "[\"5 move 4 4\\n\",2,3]"));
    EXPECT_EQ("0", callMainBinding("saveRecording", "[\"5 move 4 4\\n\",1,3]"));  // the first is gone
    EXPECT_EQ("true", callMainBinding("saveRecording", "[\"Ravelin macro 1\\n0 move 5 5\\n\",0,2]"));
    outcome = done("saveRecording", "[\"5 jump\\n\",1,2]");
    EXPECT_NE(outcome.find("line 3: unknown step"), std::string::npos) << outcome;
    EXPECT_EQ(3, firstX());
}

TEST_F(MacroJobs, PlayStepsAsksForARangeOnlyWhenAPlaybackCanStart) {
    EXPECT_EQ("true", callMainBinding("playSteps", "[2,-1]"));
    EXPECT_EQ(2, rv::playRangeFrom);
    EXPECT_EQ(-1, rv::playRangeTo);
    EXPECT_TRUE(rv::playToggleRequest.exchange(false));
    rv::playRangeFrom = -1;
    for (const char* refused : {"[3,3]", "[-1,4]", "[1]", "[\"a\",2]"})
        EXPECT_EQ("false", callMainBinding("playSteps", refused)) << refused;
    rv::playing = true;
    EXPECT_EQ("false", callMainBinding("playSteps", "[0,2]"));
    EXPECT_EQ(-1, rv::playRangeFrom);
    EXPECT_FALSE(rv::playToggleRequest.load());
}

}  // namespace
