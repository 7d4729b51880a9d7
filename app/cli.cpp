#include "app/cli.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/app.h"
#include "app/version.h"
#include "bridge/display_session.h"
#include "bridge/json_text.h"
#include "bridge/remote_commands.h"
#include "platform/platform.h"
#include "state/macro_file.h"
#include "state/numbers.h"
#include "state/text_file.h"

namespace rv {

namespace {

constexpr const char* kFunctionWords[] = {"clicker", "keyspam", "record", "play"};

bool isFunctionWord(std::string_view word) {
    for (const char* known : kFunctionWords) {
        if (word == known) return true;
    }
    return false;
}

bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A plain decimal number: digits with at most one point among them.
bool isDecimal(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) return false;
    const size_t point = text.find('.');
    return text != "." &&
           (point == std::string_view::npos || text.find('.', point + 1) == std::string_view::npos);
}

bool endsWithRvm(std::string_view word) {
    const std::string_view extension = kMacroExtension;
    if (word.size() <= extension.size()) return false;
    std::string tail(word.substr(word.size() - extension.size()));
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == extension;
}

// A macro file rather than a macro of the library: a path, or a name ending in the file extension.
bool namesMacroFile(std::string_view word) {
    return word.find('/') != std::string_view::npos ||
           word.find(plat::kPathSeparator) != std::string_view::npos || endsWithRvm(word);
}

CliCommand wrong(std::string problem) {
    CliCommand command;
    command.problem = std::move(problem);
    return command;
}

CliCommand message(std::string text, bool startsProgram, CliCommand::Kind kind = CliCommand::Kind::Message) {
    CliCommand command;
    command.kind = kind;
    command.message = std::move(text);
    command.startsProgram = startsProgram;
    return command;
}

CliCommand playCommand(const std::vector<std::string>& words, size_t at) {
    std::string speed, passes, source;
    bool haveSource = false;
    for (size_t i = at; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--speed" || word == "--passes") {
            if (i + 1 >= words.size()) return wrong(word + " needs a value.");
            const std::string& value = words[++i];
            if (word == "--speed") {
                auto number = isDecimal(value) ? parseDouble(value) : std::nullopt;
                if (!number || *number < 0.1 || *number > 10)
                    return wrong("--speed takes a number from 0.1 to 10.");
                speed = value;
            } else {
                auto number = allDigits(value) ? parseInt32(value) : std::nullopt;
                if (!number || *number > kMostRemotePasses)
                    return wrong("--passes takes a whole number from 0 (until stopped) to 1000000.");
                passes = value;
            }
        } else if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
            return wrong("Unknown option " + word + " for play.");
        } else if (haveSource) {
            return wrong("play takes one macro name or file (quote a name with blanks).");
        } else {
            source = word;
            haveSource = true;
        }
    }
    if (!haveSource || source.empty()) return wrong("play needs a macro name or a macro file.");
    if (namesMacroFile(source)) {
        std::string path = plat::absolutePath(source);
        if (path.empty())
            return wrong("The current folder cannot be told, so " + source + " cannot be found.");
        return message("playMacroFile|" + speed + "|" + passes + "|" + path, true);
    }
    return message("playMacro|" + speed + "|" + passes + "|" + source, true);
}

CliCommand parseWords(const std::vector<std::string>& words, size_t at) {
    if (at >= words.size()) return wrong("No command given.");
    const std::string& verb = words[at];
    const size_t rest = words.size() - at - 1;
    if (verb == "--help" || verb == "-h" || verb == "help") return message("", false, CliCommand::Kind::Help);
    if (verb == "version" || verb == "--version") {
        if (rest != 0) return wrong("version takes nothing after it.");
        return message("getVersion|", false, CliCommand::Kind::Version);
    }
    if (verb == "diagnose" || verb == "--diagnose") {
        if (rest != 0) return wrong("diagnose takes nothing after it.");
        CliCommand command;
        command.kind = CliCommand::Kind::Diagnose;
        return command;
    }
    if (verb == "status") {
        if (rest != 0) return wrong("status takes nothing after it.");
        return message("getStatus|", false, CliCommand::Kind::Status);
    }
    if (verb == "start" || verb == "stop" || verb == "toggle") {
        if (rest != 1)
            return wrong(verb + " takes one of clicker, keyspam, record, play" +
                         (verb == "stop" ? ", all." : "."));
        const std::string& what = words[at + 1];
        if (!isFunctionWord(what) && !(verb == "stop" && what == "all"))
            return wrong("Unknown function \"" + what + "\": clicker, keyspam, record, play" +
                         (verb == "stop" ? ", all." : "."));
        // Stopping needs no program started for it: with none running nothing runs.
        return message(verb + "Function|" + what, verb != "stop");
    }
    if (verb == "play") {
        // "play" alone is not "start play": the macro to play must be named.
        return playCommand(words, at + 1);
    }
    if (verb == "profile") {
        if (rest == 0) return wrong("profile needs the name of a profile.");
        std::string name;
        for (size_t i = at + 1; i < words.size(); ++i) name += (name.empty() ? "" : " ") + words[i];
        if (name.find_first_of("\r\n") != std::string::npos) return wrong("A profile name has no line ends.");
        return message("useProfile|" + name, true);
    }
    if (verb == "set") {
        if (rest == 0) return wrong("set needs NAME=VALUE.");
        std::string fields;
        for (size_t i = at + 1; i < words.size(); ++i) {
            const std::string& field = words[i];
            const size_t equals = field.find('=');
            if (equals == std::string::npos || equals == 0 || equals + 1 == field.size() ||
                field.find(',') != std::string::npos)
                return wrong("\"" + field + "\" is not NAME=VALUE.");
            fields += (fields.empty() ? "" : ",") + field;
        }
        return message("setSettings|" + fields, true);
    }
    return wrong("Unknown command \"" + verb + "\".");
}

// ---- replies ---------------------------------------------------------------------------------------

// The raw value of a member of a flat JSON object: what follows "key": up to the next comma or brace
// at the top level (a string whole). In the pipe's replies a key in quotes followed by a colon stands
// nowhere inside a string, whose quotes are all escaped.
std::optional<std::string_view> jsonMember(std::string_view text, const char* key) {
    const std::string marker = std::string("\"") + key + "\":";
    const size_t at = text.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view value = text.substr(at + marker.size());
    if (!value.empty() && value[0] == '"') {
        for (size_t i = 1; i < value.size(); ++i) {
            if (value[i] == '\\')
                ++i;
            else if (value[i] == '"')
                return value.substr(0, i + 1);
        }
        return std::nullopt;
    }
    const size_t end = value.find_first_of(",}");
    return value.substr(0, end);
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A JSON string's text (as jsonString writes it); anything else is given back as it is.
std::string jsonText(std::string_view quoted) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return std::string(quoted);
    std::string out;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        char c = quoted[i];
        if (c != '\\' || i + 2 >= quoted.size()) {
            out += c;
            continue;
        }
        char e = quoted[++i];
        switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                uint32_t code = 0;
                size_t k = 0;
                for (; k < 4 && i + 1 + k + 1 < quoted.size(); ++k) {
                    char h = quoted[i + 1 + k];
                    code = code * 16 + static_cast<uint32_t>(h >= '0' && h <= '9'   ? h - '0'
                                                             : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                                             : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                                                    : 0);
                }
                i += k;
                appendUtf8(out, code);
                break;
            }
            default:
                out += e;  // \" \\ \/
        }
    }
    return out;
}

bool jsonTrue(std::string_view text, const char* key) {
    auto value = jsonMember(text, key);
    return value && *value == "true";
}

// ---- talking to the main instance ---------------------------------------------------------------------

int64_t nowMs() {
    return plat::ticks() * 1000 / plat::tickFrequency();
}

enum class Reach { Answered, NoServer, Silent };

struct Answer {
    Reach reach = Reach::NoServer;
    std::string text;
};

// Sends the message until a server answers, for up to `ms`. A request that got no answer although a
// server took it (it waited its whole time) is not sent again: the command may have been carried out.
Answer ask(const std::string& text, int ms) {
    const int64_t until = nowMs() + ms;
    for (;;) {
        const int64_t sent = nowMs();
        if (auto reply = plat::pipeRequest(text, kCliAnswerMs)) return {Reach::Answered, *reply};
        if (nowMs() - sent >= kCliAnswerMs - 100) return {Reach::Silent, ""};
        if (nowMs() >= until) return {Reach::NoServer, ""};
        plat::sleepMs(100);
    }
}

std::string mainProgramPath() {
    const char* name = plat::kPathSeparator == '\\' ? "Ravelin.exe" : "ravelin";
    return exeFolder() + plat::kPathSeparator + name;
}

// The answer to the command's message: from the running main instance, or from one started for it.
int reachInstance(const CliCommand& command, Answer& answer, std::string& out, std::string& err) {
    answer = ask(command.message, 0);
    if (answer.reach == Reach::Answered) return kCliDone;
    if (answer.reach == Reach::NoServer && plat::mainInstanceRunning()) {
        // Starting up (its pipe not served yet), or too busy to take the connection.
        answer = ask(command.message, kCliAnswerMs);
    }
    if (answer.reach == Reach::Silent) {
        err +=
            "Ravelin is running but did not answer within 5 seconds; the command may or may not "
            "have been carried out.\n";
        return kCliNoInstance;
    }
    if (answer.reach == Reach::Answered) return kCliDone;
    if (plat::mainInstanceRunning()) {
        err += "Ravelin is running but does not take commands.\n";
        return kCliNoInstance;
    }
    if (!command.startsProgram) {
        if (command.kind == CliCommand::Kind::Message) {
            out += "Ravelin is not running: nothing to stop.\n";
            return kCliDone;
        }
        err += "Ravelin is not running.\n";
        return kCliNoInstance;
    }
    const std::string program = mainProgramPath();
    if (!plat::pathExists(program) ||
        !plat::startMainProgram(program, mainProgramArguments(command.showWindow))) {
        err += "Ravelin is not running and could not be started (" + program + ").\n";
        return kCliNoInstance;
    }
    answer = ask(command.message, kCliStartMs);
    if (answer.reach == Reach::Answered) return kCliDone;
    err += answer.reach == Reach::Silent
               ? "Ravelin was started but did not answer within 5 seconds.\n"
               : "Ravelin was started but did not take commands within 10 seconds.\n";
    return kCliNoInstance;
}

// A playback's job: asked about until it is done.
int followJob(std::string_view reply, std::string& out, std::string& err) {
    auto job = jsonMember(reply, "job");
    const int64_t until = nowMs() + kCliLoadMs;
    const std::string question = "macroJob|" + std::string(job ? *job : "0");
    for (;;) {
        auto state = plat::pipeRequest(question, kCliAnswerMs);
        if (!state) {
            err += "Ravelin stopped answering while it loaded the macro.\n";
            return kCliNoInstance;
        }
        if (jsonTrue(*state, "done")) {
            auto said = jsonMember(*state, "message");
            const std::string text = said ? jsonText(*said) : "";
            if (jsonTrue(*state, "ok")) {
                out += text + "\n";
                return kCliDone;
            }
            err += text + "\n";
            return kCliRefused;
        }
        if (nowMs() >= until) {
            err += "Ravelin did not finish loading the macro within a minute.\n";
            return kCliNoInstance;
        }
        plat::sleepMs(20);
    }
}

}  // namespace

CliCommand parseCliCommand(const std::vector<std::string>& words) {
    size_t at = 0;
    bool show = false;
    while (at < words.size() && words[at] == "--show") show = true, ++at;
    CliCommand command = parseWords(words, at);
    command.showWindow = show;
    if (command.problem.empty() && command.message.size() > plat::kPipeMessageMax)
        return wrong("The command is too long (a message holds at most 511 bytes).");
    return command;
}

std::string mainProgramArguments(bool show) {
    return show ? "" : kMinimizedSwitch;
}

std::string cliHelpText() {
    return "Usage: ravelin-cli [--show] COMMAND\n"
           "Sends COMMAND to the running Ravelin; when a command needs it and none runs, starts Ravelin\n"
           "(its window minimized; --show: as usual) and waits up to 10 seconds for it.\n"
           "\n"
           "Commands:\n"
           "  start clicker|keyspam|record|play    ravelin-cli start clicker\n"
           "  stop clicker|keyspam|record|play|all ravelin-cli stop all\n"
           "  toggle clicker|keyspam|record|play   ravelin-cli toggle clicker\n"
           "  play NAME-OR-FILE [--speed X] [--passes N]\n"
           "                                       ravelin-cli play \"Log in\" --speed 2 --passes 3\n"
           "      a macro of the library by name, or a macro file (a path, or a name ending in .rvm);\n"
           "      it replaces the current profile's recording (take it back in the Macro panel);\n"
           "      --speed 0.1 to 10 and --passes (0: until stopped) stay set, as in the panel\n"
           "  profile NAME                         ravelin-cli profile Gaming\n"
           "  set NAME=VALUE [NAME=VALUE ...]      ravelin-cli set sms=250 rptMode=1\n"
           "      settings by their names in the settings table (README); all or none are set\n"
           "  status                               ravelin-cli status   (JSON)\n"
           "  version                              ravelin-cli version\n"
           "  diagnose                             where Ravelin runs and what works there (Linux)\n"
           "  --help                               this text\n"
           "\n"
           "status, version, diagnose and stop never start Ravelin.\n"
           "Exit codes: 0 done, 1 refused (why on standard error), 2 bad usage,\n"
           "3 no running Ravelin answered and none could be started.\n";
}

int runCli(const std::vector<std::string>& words, std::string& out, std::string& err) {
    const CliCommand command = parseCliCommand(words);
    if (!command.problem.empty()) {
        err += "ravelin-cli: " + command.problem + "\nTry ravelin-cli --help.\n";
        return kCliBadUsage;
    }
    if (command.kind == CliCommand::Kind::Help) {
        out += cliHelpText();
        return kCliDone;
    }
    if (command.kind == CliCommand::Kind::Version) {
        out += std::string("ravelin-cli ") + RAVELIN_VERSION + "\n";
        if (plat::mainInstanceRunning()) {
            auto reply = plat::pipeRequest(command.message, kCliAnswerMs);
            auto running = reply ? jsonMember(*reply, "version") : std::nullopt;
            out += running ? "Ravelin " + jsonText(*running) + " is running\n"
                           : "Ravelin is running but did not answer\n";
        } else {
            out += "Ravelin is not running\n";
        }
        return kCliDone;
    }
    if (command.kind == CliCommand::Kind::Diagnose) {
        // Found out here, as the program would find it at start: no running program is needed.
        const std::string text = displaySessionText();
        out += (text.empty() ? "Running on Windows." : text) + "\n";
        return kCliDone;
    }
    const std::string filePlay = "playMacroFile|";
    if (command.message.rfind(filePlay, 0) == 0) {
        // A file that is not there is told here, before any program is started for it.
        const std::string& message = command.message;
        const std::string path =
            message.substr(message.find('|', message.find('|', filePlay.size()) + 1) + 1);
        if (!plat::pathExists(path)) {
            err += "No macro file " + path + ".\n";
            return kCliRefused;
        }
    }
    Answer answer;
    const int reached = reachInstance(command, answer, out, err);
    if (reached != kCliDone || answer.reach != Reach::Answered) return reached;
    if (command.kind == CliCommand::Kind::Status) {
        out += answer.text + "\n";
        return kCliDone;
    }
    if (jsonMember(answer.text, "job")) return followJob(answer.text, out, err);
    auto said = jsonMember(answer.text, "message");
    const std::string text = said ? jsonText(*said) : answer.text;
    if (jsonTrue(answer.text, "ok")) {
        out += text + "\n";
        return kCliDone;
    }
    err += text + "\n";
    return kCliRefused;
}

}  // namespace rv
