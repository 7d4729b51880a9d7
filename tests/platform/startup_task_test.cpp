#include "platform/startup_task.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The text between <tag> and </tag>, the first of them; "<none>" when there is none.
std::string element(const std::string& xml, const std::string& tag) {
    size_t open = xml.find("<" + tag + ">");
    if (open == std::string::npos) return "<none>";
    open += tag.size() + 2;
    size_t close = xml.find("</" + tag + ">", open);
    if (close == std::string::npos) return "<none>";
    return xml.substr(open, close - open);
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(StartupTask, NameIsPerUserWithTheCharactersATaskNameCannotHoldReplaced) {
    struct Case {
        std::string user, name;
    };
    const Case cases[] = {
        {"ann", "Tapforge (ann)"},
        {"Łukasz 日本", "Tapforge (Łukasz 日本)"},
        {"a\\b/c:d*e?f\"g<h>i|j", "Tapforge (a_b_c_d_e_f_g_h_i_j)"},
        {std::string("x\ty\x01", 4), "Tapforge (x_y_)"},
        {"", "Tapforge ()"},
    };
    for (const Case& c : cases) EXPECT_EQ(rv::startupTaskName(c.user), c.name) << c.user;
}

TEST(StartupTask, DefinitionStartsTheProgramAtThisUsersLogonWithTheHighestRights) {
    std::string xml =
        rv::startupTaskDefinition("C:\\Program Files\\Ravelin\\Ravelin.exe", "S-1-5-21-7-8-9-1001");
    EXPECT_EQ(
        xml.rfind(
            "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
            "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n",
            0),
        0u);
    EXPECT_EQ(xml.substr(xml.size() - 9), "</Task>\r\n");
    // One trigger, at this user's logon (not anyone's), and the same user's interactive session.
    EXPECT_EQ(count(xml, "<LogonTrigger>"), 1u);
    EXPECT_EQ(element(element(xml, "LogonTrigger"), "UserId"), "S-1-5-21-7-8-9-1001");
    EXPECT_EQ(element(element(xml, "LogonTrigger"), "Enabled"), "true");
    std::string principal = xml.substr(xml.find("<Principal id=\"Author\">"));
    EXPECT_EQ(element(principal, "UserId"), "S-1-5-21-7-8-9-1001");
    EXPECT_EQ(element(principal, "LogonType"), "InteractiveToken");
    EXPECT_EQ(element(principal, "RunLevel"), "HighestAvailable");
    EXPECT_NE(xml.find("<Actions Context=\"Author\">"), std::string::npos);
    // Runs as long as the program does, on battery too, at normal priority.
    struct Setting {
        const char* tag;
        const char* value;
    };
    for (Setting s : {Setting{"ExecutionTimeLimit", "PT0S"}, Setting{"DisallowStartIfOnBatteries", "false"},
                      Setting{"StopIfGoingOnBatteries", "false"}, Setting{"Priority", "4"},
                      Setting{"MultipleInstancesPolicy", "IgnoreNew"}, Setting{"RunOnlyIfIdle", "false"},
                      Setting{"StopOnIdleEnd", "false"}, Setting{"Enabled", "true"}}) {
        EXPECT_EQ(element(element(xml, "Settings"), s.tag), s.value) << s.tag;
    }
    std::string exec = element(xml, "Exec");
    EXPECT_EQ(element(exec, "Command"), "C:\\Program Files\\Ravelin\\Ravelin.exe");
    EXPECT_EQ(element(exec, "WorkingDirectory"), "C:\\Program Files\\Ravelin");
    EXPECT_EQ(element(exec, "Arguments"), "<none>");  // an ordinary start of the main instance
    // Every element closed as often as opened.
    for (const char* tag : {"Task", "Triggers", "Principals", "Principal", "Settings", "IdleSettings",
                            "Actions", "Exec", "RegistrationInfo"}) {
        size_t opened = count(xml, std::string("<") + tag + ">") + count(xml, std::string("<") + tag + " ");
        EXPECT_EQ(opened, count(xml, std::string("</") + tag + ">")) << tag;
    }
}

TEST(StartupTask, PathsAndUsersAreEscapedAndTheFolderIsThePaths) {
    struct Case {
        std::string path, user, command, folder, userId;
    };
    const Case cases[] = {
        {"C:\\R&D <new>\\it's \"here\"\\Ravelin.exe", "PC\\ann",
         "C:\\R&amp;D &lt;new&gt;\\it&apos;s &quot;here&quot;\\Ravelin.exe",
         "C:\\R&amp;D &lt;new&gt;\\it&apos;s &quot;here&quot;", "PC\\ann"},
        {"C:\\Ravelin.exe", "a&b", "C:\\Ravelin.exe", "C:\\", "a&amp;b"},
        {"C:\\users\\Łukasz 日本\\Ravelin\\Ravelin.exe", "S-1",
         "C:\\users\\Łukasz 日本\\Ravelin\\Ravelin.exe", "C:\\users\\Łukasz 日本\\Ravelin", "S-1"},
        {std::string("C:\\a\x01\\R.exe"), "u", "C:\\a_\\R.exe", "C:\\a_", "u"},
        {"\\\\server\\share\\Ravelin.exe", "u", "\\\\server\\share\\Ravelin.exe", "\\\\server\\share", "u"},
    };
    for (const Case& c : cases) {
        std::string xml = rv::startupTaskDefinition(c.path, c.user);
        EXPECT_EQ(element(xml, "Command"), c.command) << c.path;
        EXPECT_EQ(element(xml, "WorkingDirectory"), c.folder) << c.path;
        EXPECT_EQ(element(element(xml, "LogonTrigger"), "UserId"), c.userId) << c.user;
    }
    // No folder to start in: the element is left out rather than empty.
    EXPECT_EQ(element(rv::startupTaskDefinition("Ravelin.exe", "u"), "WorkingDirectory"), "<none>");
}
