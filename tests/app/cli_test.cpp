#include "app/cli.h"

#include <filesystem>

#include "app/app.h"
#include "bridge/panel_messages.h"
#include "support/fresh_state.h"

namespace {

using Kind = rv::CliCommand::Kind;

TEST(CliCommand, CommandLinesBecomeTheirPipeMessageOrAUsageError) {
    struct Case {
        std::vector<std::string> words;
        std::string message;  // empty: a usage error
        bool startsProgram;
    };
    const std::string tooLong(600, 'x');
    const Case cases[] = {
        {{"start", "clicker"}, "startFunction|clicker", true},
        {{"toggle", "keyspam"}, "toggleFunction|keyspam", true},
        {{"stop", "record"}, "stopFunction|record", false},
        {{"stop", "all"}, "stopFunction|all", false},
        {{"--show", "start", "play"}, "startFunction|play", true},
        {{"play", "Log in"}, "playMacro|||Log in", true},
        {{"play", "Log in", "--passes", "3", "--speed", "2.5"}, "playMacro|2.5|3|Log in", true},
        {{"play", "--speed", "0.1", "day.RVM"}, "playMacroFile|0.1||/current/day.RVM", true},
        {{"play", "macros/day"}, "playMacroFile|||/current/macros/day", true},
        {{"play", "/home/u/a b.rvm", "--passes", "0"}, "playMacroFile||0|/home/u/a b.rvm", true},
        {{"profile", "Night", "shift"}, "useProfile|Night shift", true},
        {{"set", "sms=250", "tspd=1.5"}, "setSettings|sms=250,tspd=1.5", true},
        {{"status"}, "getStatus|", false},
        // Bad usage.
        {{}, "", false},
        {{"dance"}, "", false},
        {{"start"}, "", false},
        {{"start", "all"}, "", false},
        {{"start", "clicker", "now"}, "", false},
        {{"toggle", "clickers"}, "", false},
        {{"play"}, "", false},
        {{"play", "a", "b"}, "", false},
        {{"play", "a", "--speed"}, "", false},
        {{"play", "a", "--speed", "0.05"}, "", false},
        {{"play", "a", "--speed", "11"}, "", false},
        {{"play", "a", "--speed", "2x"}, "", false},
        {{"play", "a", "--passes", "-1"}, "", false},
        {{"play", "a", "--passes", "1000001"}, "", false},
        {{"play", "a", "--loop"}, "", false},
        {{"profile"}, "", false},
        {{"set"}, "", false},
        {{"set", "sms"}, "", false},
        {{"set", "=5"}, "", false},
        {{"set", "sms="}, "", false},
        {{"set", "sms=1,ss=2"}, "", false},
        {{"status", "now"}, "", false},
        {{"version", "now"}, "", false},
        {{"play", tooLong}, "", false},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& word : c.words) shown += "[" + word + "]";
        const rv::CliCommand command = rv::parseCliCommand(c.words);
        if (c.message.empty()) {
            EXPECT_FALSE(command.problem.empty()) << shown;
            continue;
        }
        EXPECT_EQ("", command.problem) << shown;
        EXPECT_EQ(c.message, command.message) << shown;
        EXPECT_EQ(c.startsProgram, command.startsProgram) << shown;
    }
    EXPECT_TRUE(rv::parseCliCommand({"--show", "start", "clicker"}).showWindow);
    EXPECT_EQ(Kind::Help, rv::parseCliCommand({"--help"}).kind);
    EXPECT_EQ(Kind::Version, rv::parseCliCommand({"version"}).kind);
}

TEST(CliCommand, TheHelpShowsEveryCommandWithAnExample) {
    const std::string help = rv::cliHelpText();
    for (const char* example :
         {"ravelin-cli start clicker", "ravelin-cli stop all", "ravelin-cli toggle clicker",
          "ravelin-cli play \"", "ravelin-cli profile ", "ravelin-cli set ", "ravelin-cli status",
          "ravelin-cli version", "diagnose", "--help", "Exit codes"})
        EXPECT_NE(help.find(example), std::string::npos) << example;
}

// What the main instance answers in these tests, when it runs.
std::string canned;
std::string answerCanned(const char*, size_t) {
    return canned;
}
// A main instance that takes the message but answers only after the client has given up.
std::string answerLate(const char*, size_t) {
    fake::advance(fake::kFrequency * (rv::kCliAnswerMs + 1) / 1000);
    return "";
}

class Cli : public FreshState {};

TEST_F(Cli, ExitCodesFollowTheAnswerAndWhetherAMainInstanceRunsOrCanBeStarted) {
    enum Instance { Running, Silent, None, NoneAndCannotStart, NoneAndNoProgram };
    struct Case {
        std::vector<std::string> words;
        Instance instance;
        std::string reply;
        int exit;
        std::string out, err;  // found in standard output and error
        bool started;          // a main program was started
    };
    const Case cases[] = {
        {{"start", "clicker"},
         Running,
         R"({"ok":true,"message":"Started the auto-clicker."})",
         0,
         "Started the auto-clicker.\n",
         "",
         false},
        {{"profile", "Nobody"},
         Running,
         R"({"ok":false,"message":"No profile named \"Nobody\"."})",
         1,
         "",
         "No profile named \"Nobody\".\n",
         false},
        {{"status"}, Running, R"({"tracker":"Idle"})", 0, "{\"tracker\":\"Idle\"}\n", "", false},
        {{"start", "clicker"}, Silent, "", 3, "", "did not answer within 5 seconds", false},
        {{"stop", "all"}, None, "", 0, "not running", "", false},
        {{"status"}, None, "", 3, "", "Ravelin is not running.\n", false},
        {{"start", "clicker"},
         None,
         R"({"ok":true,"message":"Started the auto-clicker."})",
         0,
         "Started",
         "",
         true},
        {{"start", "clicker"}, NoneAndCannotStart, "", 3, "", "could not be started", false},
        {{"start", "clicker"}, NoneAndNoProgram, "", 3, "", "could not be started", false},
        {{"play", "/nowhere/day.rvm"}, None, "", 1, "", "No macro file /nowhere/day.rvm.\n", false},
        {{"dance"}, Running, "", 2, "", "Unknown command", false},
        {{"--help"}, None, "", 0, "Usage: ravelin-cli", "", false},
    };
    for (const Case& c : cases) {
        fake::reset();
        fake::setExePath(inFolder("ravelin-cli"));
        std::filesystem::remove(inFolder("ravelin"));
        if (c.instance != NoneAndNoProgram) writeFile("ravelin", "");
        canned = c.reply;
        fake::setPipeResponder(c.instance == Silent ? &answerLate : &answerCanned);
        fake::setPipeServerPresent(c.instance == Running || c.instance == Silent);
        fake::setMainInstanceRunning(c.instance == Running || c.instance == Silent);
        fake::setProgramStart(c.instance != NoneAndCannotStart, true);

        std::string out, err;
        const int exit = rv::runCli(c.words, out, err);
        const std::string shown = c.words.empty() ? "" : c.words[0];
        EXPECT_EQ(c.exit, exit) << shown << " " << c.instance << " out: " << out << " err: " << err;
        EXPECT_NE(out.find(c.out), std::string::npos) << shown << " out: " << out;
        EXPECT_NE(err.find(c.err), std::string::npos) << shown << " err: " << err;
        if (c.out.empty()) {
            EXPECT_EQ("", out) << shown;
        }
        if (c.err.empty()) {
            EXPECT_EQ("", err) << shown;
        }
        EXPECT_EQ(c.started ? 1u : 0u, fake::processes().size()) << shown << " " << c.instance;
        if (c.started) {
            EXPECT_EQ(inFolder("ravelin"), fake::processes()[0]->executable);
            EXPECT_EQ(rv::kMinimizedSwitch, fake::processes()[0]->arguments);
        }
    }
}

// diagnose tells the session from the client's own process: no program need run, none is started.
TEST_F(Cli, DiagnoseSaysWhereItRunsWithoutTheProgram) {
    fake::setEnvironment("WAYLAND_DISPLAY", std::string("wayland-1"));
    fake::setEnvironment("SWAYSOCK", std::string("/run/sway.sock"));
    fake::setInputRoute(plat::InputRoute::Wayland);
    std::string out, err;
    EXPECT_EQ(rv::kCliDone, rv::runCli({"--diagnose"}, out, err));
    EXPECT_EQ(out.rfind("Running on Wayland (sway): clicks and keys reach every window;", 0), 0u) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(err, "");
    EXPECT_FALSE(plat::mainInstanceRunning());
}

TEST_F(Cli, ThePlayedMacroIsFollowedUntilItsJobIsDone) {
    fake::setPipeResponder([](const char* bytes, size_t length) {
        std::string text(bytes, length);
        if (text.rfind("playMacro|", 0) == 0) return std::string(R"({"job":7})");
        static int asked = 0;
        if (++asked < 3) return std::string(R"({"done":false})");
        return std::string(
            R"({"done":true,"ok":false,"message":"\"Log in\" was not loaded:\nline 2: bad","name":""})");
    });
    fake::setMainInstanceRunning(true);
    std::string out, err;
    EXPECT_EQ(1, rv::runCli({"play", "Log in"}, out, err));
    EXPECT_EQ("\"Log in\" was not loaded:\nline 2: bad\n", err);
    EXPECT_EQ("macroJob|7", fake::sentMessages().back());
}

}  // namespace
