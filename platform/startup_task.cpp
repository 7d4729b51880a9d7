#include "platform/startup_task.h"

#include "platform/markup_text.h"

namespace rv {

namespace {

// The folder part of a Windows path ("C:\a\b.exe" → "C:\a"; "C:\b.exe" → "C:\").
std::string folderOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) return "";
    if (cut == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, cut);
}

}  // namespace

std::string startupTaskName(const std::string& userName) {
    std::string name = "Tapforge (";
    for (char c : userName) {
        bool forbidden =
            static_cast<unsigned char>(c) < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos;
        name += forbidden ? '_' : c;
    }
    return name + ")";
}

std::string startupTaskDefinition(const std::string& executablePath, const std::string& userId) {
    std::string user = markupEscaped(userId);
    std::string folder = folderOf(executablePath);
    // The scheduler takes the text as UTF-16, which is what the declaration names; the backend
    // converts it on the way.
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
        "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
        "  <RegistrationInfo>\r\n"
        "    <Description>Starts Ravelin when you log on, with your full rights.</Description>\r\n"
        "  </RegistrationInfo>\r\n"
        "  <Triggers>\r\n"
        "    <LogonTrigger>\r\n"
        "      <Enabled>true</Enabled>\r\n"
        "      <UserId>" +
        user +
        "</UserId>\r\n"
        "    </LogonTrigger>\r\n"
        "  </Triggers>\r\n"
        "  <Principals>\r\n"
        "    <Principal id=\"Author\">\r\n"
        "      <UserId>" +
        user +
        "</UserId>\r\n"
        "      <LogonType>InteractiveToken</LogonType>\r\n"
        "      <RunLevel>HighestAvailable</RunLevel>\r\n"
        "    </Principal>\r\n"
        "  </Principals>\r\n"
        // The scheduler's defaults would end the program after three days, not start it on battery
        // power, and run it below normal priority (7), which slows its clicks.
        "  <Settings>\r\n"
        "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
        "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
        "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
        "    <AllowHardTerminate>true</AllowHardTerminate>\r\n"
        "    <StartWhenAvailable>false</StartWhenAvailable>\r\n"
        "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\r\n"
        "    <IdleSettings>\r\n"
        "      <StopOnIdleEnd>false</StopOnIdleEnd>\r\n"
        "      <RestartOnIdle>false</RestartOnIdle>\r\n"
        "    </IdleSettings>\r\n"
        "    <AllowStartOnDemand>true</AllowStartOnDemand>\r\n"
        "    <Enabled>true</Enabled>\r\n"
        "    <Hidden>false</Hidden>\r\n"
        "    <RunOnlyIfIdle>false</RunOnlyIfIdle>\r\n"
        "    <WakeToRun>false</WakeToRun>\r\n"
        "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
        "    <Priority>4</Priority>\r\n"
        "  </Settings>\r\n"
        "  <Actions Context=\"Author\">\r\n"
        "    <Exec>\r\n"
        "      <Command>" +
        markupEscaped(executablePath) + "</Command>\r\n";
    if (!folder.empty())
        text += "      <WorkingDirectory>" + markupEscaped(folder) + "</WorkingDirectory>\r\n";
    text +=
        "    </Exec>\r\n"
        "  </Actions>\r\n"
        "</Task>\r\n";
    return text;
}

}  // namespace rv
