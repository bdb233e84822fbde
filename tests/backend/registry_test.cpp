// Reading InstallDir from this build's registry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/platform.h"
#include "platform/run_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace zephrane {
namespace {

// A key of the tests' own, so that other suites sharing the machine see no BIND.
const std::string kKeyName = std::to_string(std::random_device()());
const std::string kKey = "\\Software\\Zephrane Tests\\" + kKeyName + "\\";

class Registry : public ::testing::Test {
protected:
#ifdef _WIN32
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey.substr(1).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey.substr(1, kKey.size() - 2).c_str());
    }
    void SetString(const char* name, const std::string& text) {
        const std::string bytes = text + '\0';
        ASSERT_EQ(RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    HKEY key_ = nullptr;
#else
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / ("zephrane-registry-" + std::to_string(std::random_device()()));
        folder_ = root_ / "Software" / "Zephrane Tests" / kKeyName;
        std::filesystem::create_directories(folder_);
        setenv("ZEPHRANE_REGISTRY", root_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ZEPHRANE_REGISTRY");
        std::filesystem::remove_all(root_);
    }
    void SetString(const char* name, const std::string& text) { std::ofstream(folder_ / name, std::ios::binary) << text; }
    std::filesystem::path root_;
    std::filesystem::path folder_;
#endif
    std::string Read(const std::string& key, const char* name) {
        return CreateSystemPlatform()->ReadRegistryString(key, name);
    }
};

TEST_F(Registry, StringValuesAsStored) {
    SetString("Plain", "C:\\Program Files\\ISC BIND 9");
    SetString("Empty", "");
    SetString("Cut", std::string("C:\\bind\\\0rest", 13));
    EXPECT_EQ(Read(kKey, "Plain"), "C:\\Program Files\\ISC BIND 9");
    EXPECT_EQ(Read(kKey, "Empty"), "");
    EXPECT_EQ(Read(kKey, "Cut"), "C:\\bind\\");
    EXPECT_EQ(Read(kKey, "Missing"), "");
    EXPECT_EQ(Read("\\Software\\Zephrane Tests\\no such key\\", "Plain"), "");
}

// REG_EXPAND_SZ and other types are rows of the Wine end-to-end table.
#ifndef _WIN32
TEST_F(Registry, FileContentWithoutItsLineEnd) {
    SetString("Echoed", "/opt/isc bind 9/\n");
    SetString("Crlf", "/opt/bind\r\n");
    SetString("TwoLines", "/opt/bind/\n\n");
    EXPECT_EQ(Read(kKey, "Echoed"), "/opt/isc bind 9/");
    EXPECT_EQ(Read(kKey, "Crlf"), "/opt/bind");
    EXPECT_EQ(Read(kKey, "TwoLines"), "/opt/bind/\n");
}

TEST_F(Registry, AFolderInPlaceOfAValueIsTheWrongType) {
    std::filesystem::create_directory(folder_ / "Folder");
    try {
        Read(kKey, "Folder");
        FAIL() << "no error";
    } catch (const RunError& error) {
        EXPECT_EQ(error.ClassName(), "ERegistryException");
        EXPECT_EQ(error.Message(), "Ung\xFCltiger Datentyp f\xFCr 'Folder'");
    }
}
#endif

}  // namespace
}  // namespace zephrane
