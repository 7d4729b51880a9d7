// The Windows start-up registration, for real under Windows or Wine: a Task Scheduler logon task of
// the current user, and the Run value "Tapforge" of earlier versions removed. Wine's scheduler keeps
// the task but not its trigger, principal or action (it writes back only what it understands), so
// what the task holds is checked as text by the unit tests; here, that it is there or gone.
#include "platform/startup_task.h"

#include <windows.h>

#include <taskschd.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace {

const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct Value {
    DWORD type = 0;
    std::string bytes;  // as stored, terminating zero included
};

std::optional<Value> readValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    Value value;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        value.bytes.assign(size, '\0');
        result = RegQueryValueExA(key, name, nullptr, &value.type,
                                  reinterpret_cast<BYTE*>(value.bytes.data()), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return std::nullopt;
    return value;
}

void writeValue(const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void deleteValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

// Whether the scheduler's root folder holds this user's start-up task, asked independently of the
// code under test; nothing when the scheduler cannot be reached.
std::optional<bool> taskRegistered() {
    const CLSID scheduler = {0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
    ITaskService* service = nullptr;
    if (FAILED(CoCreateInstance(scheduler, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                reinterpret_cast<void**>(&service)))) {
        return std::nullopt;
    }
    VARIANT none;
    VariantInit(&none);
    std::optional<bool> result;
    ITaskFolder* folder = nullptr;
    BSTR root = SysAllocString(L"\\");
    if (SUCCEEDED(service->Connect(none, none, none, none)) && SUCCEEDED(service->GetFolder(root, &folder))) {
        wchar_t user[257];
        DWORD length = 257;
        GetUserNameW(user, &length);
        std::wstring name = plat::toWide(rv::startupTaskName(plat::toUtf8(user, length - 1)));
        BSTR taskName = SysAllocString(name.c_str());
        IRegisteredTask* task = nullptr;
        result = SUCCEEDED(folder->GetTask(taskName, &task)) && task;
        if (task) task->Release();
        SysFreeString(taskName);
        folder->Release();
    }
    SysFreeString(root);
    service->Release();
    return result;
}

class Registration : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { CoUninitialize(); }
    void SetUp() override {
        writeValue("RavelinTestNeighbour", REG_SZ, std::string("C:\\other.exe", 13));
        deleteValue("Tapforge");
        plat::setStartupRegistration(false, plat::exePath());
    }
    void TearDown() override {
        plat::setStartupRegistration(false, plat::exePath());
        deleteValue("Tapforge");
        deleteValue("RavelinTestNeighbour");
    }
};

}  // namespace

TEST_F(Registration, OnRegistersTheLogonTaskAndRemovesTheRunValueOfEarlierVersions) {
    ASSERT_EQ(taskRegistered(), false);
    // Left by an earlier version: it never started the elevated program.
    writeValue("Tapforge", REG_SZ, "\"C:\\Old\\Ravelin.exe\"" + std::string(1, '\0'));
    EXPECT_TRUE(plat::setStartupRegistration(true, "C:\\Program Files\\Ravelin\\Ravelin.exe"));
    EXPECT_EQ(taskRegistered(), true);
    EXPECT_FALSE(readValue("Tapforge"));
    EXPECT_EQ(readValue("RavelinTestNeighbour")->bytes, std::string("C:\\other.exe", 13));

    // A start from another folder replaces it; a folder of any name will do.
    EXPECT_TRUE(plat::setStartupRegistration(true, "C:\\users\\Łukasz 日本\\Ravelin\\Ravelin.exe"));
    EXPECT_EQ(taskRegistered(), true);
    EXPECT_TRUE(plat::setStartupRegistration(true, plat::exePath()));
    EXPECT_EQ(taskRegistered(), true);
}

TEST_F(Registration, OffRemovesEveryTraceAndSaysSo) {
    ASSERT_TRUE(plat::setStartupRegistration(true, plat::exePath()));
    writeValue("Tapforge", REG_EXPAND_SZ, std::string("%TEMP%\\elsewhere.exe", 21));
    EXPECT_FALSE(plat::setStartupRegistration(false, plat::exePath()));
    EXPECT_EQ(taskRegistered(), false);
    EXPECT_FALSE(readValue("Tapforge"));
    // Already gone: no error, nothing changes.
    EXPECT_FALSE(plat::setStartupRegistration(false, plat::exePath()));
    EXPECT_EQ(taskRegistered(), false);
    EXPECT_TRUE(readValue("RavelinTestNeighbour"));
}

TEST_F(Registration, WorksWhereTheThreadHasNoComYetAndInTheOtherApartment) {
    bool on = false, off = true;
    std::optional<bool> seen;
    std::thread plain([&] {
        on = plat::setStartupRegistration(true, plat::exePath());
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        seen = taskRegistered();
        off = plat::setStartupRegistration(false, plat::exePath());
        CoUninitialize();
    });
    plain.join();
    EXPECT_TRUE(on);
    EXPECT_EQ(seen, true);
    EXPECT_FALSE(off);
    EXPECT_EQ(taskRegistered(), false);
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
