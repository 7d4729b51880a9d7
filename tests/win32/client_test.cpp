// ravelin-cli's side of the Windows backend, for real under Windows or Wine: the main instance's
// mutex looked at without taking it, and a client with a medium-integrity token (a console that was
// not elevated) reaching the pipe of a server that runs as this user, elevated or not.
#include <aclapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/pipe_name.h"

namespace {

std::string answer(const char* bytes, size_t length) {
    return "got " + std::string(bytes, length);
}

class Server {
  public:
    Server() : thread_([] { plat::runPipeServer(&answer); }) {
        for (int i = 0; i < 200 && !plat::pipeRequest("ping|", 100); ++i) Sleep(10);
    }
    ~Server() {
        plat::stopPipeServer();
        thread_.join();
    }

  private:
    std::thread thread_;
};

// This thread's token lowered to medium integrity, as an unelevated console's is; false when the
// system cannot make one.
bool impersonateMediumIntegrity() {
    HANDLE process = nullptr, medium = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process)) return false;
    const bool duplicated = DuplicateTokenEx(process, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                                             TokenImpersonation, &medium);
    CloseHandle(process);
    if (!duplicated) return false;
    SID_IDENTIFIER_AUTHORITY label = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID sid = nullptr;
    bool done = AllocateAndInitializeSid(&label, 1, SECURITY_MANDATORY_MEDIUM_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
    if (done) {
        TOKEN_MANDATORY_LABEL level{};
        level.Label.Attributes = SE_GROUP_INTEGRITY;
        level.Label.Sid = sid;
        done = SetTokenInformation(medium, TokenIntegrityLevel, &level, sizeof level + GetLengthSid(sid)) &&
               SetThreadToken(nullptr, medium);
        FreeSid(sid);
    }
    CloseHandle(medium);
    return done;
}

TEST(Client, TheMainInstanceIsSeenWithoutTakingItsClaim) {
    EXPECT_FALSE(plat::mainInstanceRunning());
    ASSERT_TRUE(plat::claimMainInstance());
    EXPECT_TRUE(plat::mainInstanceRunning());
    EXPECT_TRUE(plat::claimMainInstance());  // still this process's
}

TEST(Client, AClientOfMediumIntegrityGetsItsAnswer) {
    Server server;
    std::optional<std::string> reply;
    bool lowered = false;
    std::thread client([&] {
        lowered = impersonateMediumIntegrity();
        reply = plat::pipeRequest("getStatus|", 2000);
        RevertToSelf();
    });
    client.join();
    if (!lowered) std::printf("client_test: this system made no medium-integrity token; asked as is\n");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ("got getStatus|", *reply);
    // No integrity label above medium keeps a medium client from writing to it.
    HANDLE pipe =
        CreateFileA(plat::sessionPipeName().c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "the pipe does not open for its security information here";
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, &sacl,
                        &descriptor) == ERROR_SUCCESS) {
        for (DWORD i = 0; sacl && i < sacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(sacl, i, &ace) ||
                static_cast<ACE_HEADER*>(ace)->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE)
                continue;
            PSID sid = &static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace)->SidStart;
            DWORD rid = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
            EXPECT_LE(rid, static_cast<DWORD>(SECURITY_MANDATORY_MEDIUM_RID));
        }
        LocalFree(descriptor);
    }
    CloseHandle(pipe);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
