// The session file in the per-user data folder on a real Windows file system (Wine's prefix): the
// folder from LOCALAPPDATA, the move of an older session from beside the executable, loading, and
// saving with CR LF line ends through the replace-in-one-step path.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "state/session_file.h"
#include "state/state.h"

namespace {

std::string environmentValue(const char* name) {
    char value[1024];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string programFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of('\\'));
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
bool isFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Turns LF line ends into CR LF, as the program stores its files.
std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

const char* const kStoredSession =
    "SETTINGS:0,0,1,250,1,0,0,7,0,0,0,1,1,1,1,0,1.5,0,500,119,118,0,117,0,0,0,40,0,3,120,65\n"
    "CURRENT:1\n"
    "PROFILE:Alpha\n"
    "3,0.5,0,0,0,65,1,0\n"
    "3,0.75,0,0,0,65,0,0\n"
    "PROFILE:Beta \xC3\xA9t\xC3\xA9\n"
    "0,1.25,100,200,0,0,0,0\n";

class Session : public testing::Test {
  protected:
    void SetUp() override {
        rv::resetStateForTests();
        local_ = environmentValue("LOCALAPPDATA");
        ASSERT_FALSE(local_.empty()) << "LOCALAPPDATA is not set";
        folder_ = local_ + "\\Tapforge";
        inFolder_ = folder_ + "\\session.mcr";
        beside_ = programFolder() + "\\session.mcr";
        cleanUp();
        ASSERT_FALSE(exists(folder_)) << "a data folder with other files in it is in the way: " << folder_;
    }
    void TearDown() override { cleanUp(); }
    void cleanUp() const {
        DeleteFileA(inFolder_.c_str());
        DeleteFileA((inFolder_ + ".tmp").c_str());
        DeleteFileA(beside_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    std::string local_, folder_, inFolder_, beside_;
};

TEST_F(Session, DataFolderIsTapforgeInLocalAppDataAndIsCreated) {
    EXPECT_EQ(rv::dataFolder(), folder_);
    rv::prepareSessionPath();
    EXPECT_TRUE(isFolder(folder_));
    EXPECT_EQ(rv::sessionPath, inFolder_);
    // Nothing to move and nothing to load: start-up goes on with a default profile.
    EXPECT_FALSE(exists(inFolder_));
    EXPECT_FALSE(rv::loadSession());
}

TEST_F(Session, SessionBesideTheProgramMovesIntoTheDataFolderAndLoads) {
    writeBytes(beside_, crlf(kStoredSession));
    rv::prepareSessionPath();
    EXPECT_FALSE(exists(beside_));
    EXPECT_EQ(readBytes(inFolder_), crlf(kStoredSession));

    ASSERT_TRUE(rv::loadSession());
    EXPECT_EQ(rv::sms.load(), 250);
    EXPECT_EQ(rv::rptTimes.load(), 7);
    EXPECT_EQ(rv::keySpamTarget.load(), 65);
    std::lock_guard<std::mutex> lock(rv::profilesLock);
    ASSERT_EQ(rv::profiles.size(), 2u);
    EXPECT_EQ(rv::profiles[0].name, "Alpha");
    EXPECT_EQ(rv::profiles[1].name, "Beta \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(rv::currentProfile, 1);
    ASSERT_EQ(rv::profiles[0].events.size(), 2u);
    EXPECT_EQ(rv::profiles[0].events[1].vk, 65);
    EXPECT_FALSE(rv::profiles[0].events[1].down);
    ASSERT_EQ(rv::profiles[1].events.size(), 1u);
    EXPECT_EQ(rv::profiles[1].events[0].x, 100);
    EXPECT_EQ(rv::profiles[1].events[0].y, 200);
}

TEST_F(Session, SessionInTheDataFolderIsNeverReplacedByTheOneBesideTheProgram) {
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    std::string newer =
        crlf("SETTINGS:0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117\nCURRENT:0\nPROFILE:Newer\n");
    writeBytes(inFolder_, newer);
    writeBytes(beside_, crlf(kStoredSession));
    rv::prepareSessionPath();
    EXPECT_EQ(readBytes(inFolder_), newer);
    EXPECT_TRUE(exists(beside_));
    ASSERT_TRUE(rv::loadSession());
    std::lock_guard<std::mutex> lock(rv::profilesLock);
    ASSERT_EQ(rv::profiles.size(), 1u);
    EXPECT_EQ(rv::profiles[0].name, "Newer");
}

TEST_F(Session, SavesAreCrLfLinesThatReplaceTheFileAndLoadBack) {
    rv::prepareSessionPath();
    rv::sms = 333;
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{"First", "", {}},
                        rv::Profile{"Second",
                                    "",
                                    {rv::MacroEvent{3, 0.25, 0, 0, 0, 66, true, 0},
                                     rv::MacroEvent{4, 0.5, 0, 0, 0, 0, false, -120}}}};
        rv::currentProfile = 1;
    }
    rv::saveSession();
    ASSERT_TRUE(exists(inFolder_));
    // A second save replaces the existing file in one step.
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles[0].name = "First renamed";
    }
    rv::saveSession();
    EXPECT_FALSE(exists(inFolder_ + ".tmp"));

    std::string bytes = readBytes(inFolder_);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.rfind("SETTINGS:", 0), 0u);
    size_t lines = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++lines;
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
        } else if (bytes[i] == '\r') {
            EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
    EXPECT_EQ(bytes.back(), '\n');
    EXPECT_EQ(lines, 6u) << bytes;  // settings, current, two profiles, two events
    EXPECT_NE(bytes.find("\r\nPROFILE:First renamed\r\n"), std::string::npos);

    rv::resetStateForTests();
    rv::sessionPath = inFolder_;
    ASSERT_TRUE(rv::loadSession());
    EXPECT_EQ(rv::sms.load(), 333);
    std::lock_guard<std::mutex> lock(rv::profilesLock);
    ASSERT_EQ(rv::profiles.size(), 2u);
    EXPECT_EQ(rv::profiles[0].name, "First renamed");
    EXPECT_EQ(rv::currentProfile, 1);
    ASSERT_EQ(rv::profiles[1].events.size(), 2u);
    EXPECT_EQ(rv::profiles[1].events[0].vk, 66);
    EXPECT_EQ(rv::profiles[1].events[1].wheel, -120);
}

// A session file kept elsewhere through a symbolic link: saves replace the file it leads to, and
// the link stays; a dangling link gets its target made.
TEST_F(Session, SavesThroughASymbolicLinkReplaceItsTargetAndKeepTheLink) {
    const std::string synced = local_ + "\\Synced";
    CreateDirectoryA(synced.c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    struct Case {
        const char* what;
        std::string target;
        bool targetExists;
    };
    const Case cases[] = {{"link to a file", synced + "\\session.mcr", true},
                          {"dangling link", synced + "\\new.mcr", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(inFolder_.c_str());
        DeleteFileA(c.target.c_str());
        if (c.targetExists) writeBytes(c.target, crlf("SETTINGS:0\nCURRENT:0\nPROFILE:Before\n"));
        constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
        const bool made = CreateSymbolicLinkA(inFolder_.c_str(), c.target.c_str(), kUnprivileged) ||
                          CreateSymbolicLinkA(inFolder_.c_str(), c.target.c_str(), 0);
        // Wine 8 reports success and makes nothing.
        if (!made || !(GetFileAttributesA(inFolder_.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) ||
            GetFileAttributesA(inFolder_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            RemoveDirectoryA(synced.c_str());
            GTEST_SKIP() << "no symbolic links here (error " << GetLastError() << ")";
        }
        rv::sessionPath = inFolder_;
        {
            std::lock_guard<std::mutex> lock(rv::profilesLock);
            rv::profiles = {rv::Profile{"Linked", "", {}}};
            rv::currentProfile = 0;
        }
        rv::saveSessionAfterWorkers();
        {
            std::lock_guard<std::mutex> lock(rv::profilesLock);
            rv::profiles[0].name = "Linked again";
        }
        rv::saveSessionAfterWorkers();

        const DWORD attributes = GetFileAttributesA(inFolder_.c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "the link was replaced by a file";
        EXPECT_NE(readBytes(c.target).find("\r\nPROFILE:Linked again\r\n"), std::string::npos);
        EXPECT_FALSE(exists(c.target + ".tmp"));
        EXPECT_FALSE(exists(inFolder_ + ".tmp"));
        DeleteFileA(inFolder_.c_str());
        DeleteFileA(c.target.c_str());
    }
    RemoveDirectoryA(synced.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
