// Reading a string value from this build's registry: what the scenario
// table cannot write there (a NUL inside the value, a value written by echo).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace zephrane {
namespace {

// A key of the test's own, so that other suites sharing the machine see no BIND.
const std::string kName = std::to_string(std::random_device()());
const std::string kKey = "\\Software\\Zephrane Tests\\" + kName + "\\";

#ifdef _WIN32
void Set(const char* name, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey.substr(1).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}
#else
const std::filesystem::path kRoot = std::filesystem::temp_directory_path() / ("zephrane-registry-" + kName);
void Set(const char* name, const std::string& bytes) {
    std::filesystem::create_directories(kRoot / "Software" / "Zephrane Tests" / kName);
    std::ofstream(kRoot / "Software" / "Zephrane Tests" / kName / name, std::ios::binary) << bytes;
    ::setenv("ZEPHRANE_REGISTRY", kRoot.c_str(), 1);
}
#endif

TEST(Registry, StringValuesAsStored) {
    const std::pair<std::string, std::string> rows[] = {
        {std::string("C:\\bind\\\0rest\0", 14), "C:\\bind\\"},  // cut at the first NUL
        {"/opt/isc bind 9/\n", kHasDriveMark ? "/opt/isc bind 9/\n" : "/opt/isc bind 9/"},  // as echo wrote it
        {"/opt/bind\r\n", kHasDriveMark ? "/opt/bind\r\n" : "/opt/bind"},
        {"/opt/bind/\n\n", kHasDriveMark ? "/opt/bind/\n\n" : "/opt/bind/\n"},
    };
    for (const auto& [stored, read] : rows) {
        Set("Value", stored);
        EXPECT_EQ(CreateSystemPlatform()->ReadRegistryString(kKey, "Value"), read) << ::testing::PrintToString(stored);
    }
    EXPECT_EQ(CreateSystemPlatform()->ReadRegistryString(kKey, "Missing"), "");
#ifdef _WIN32
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Zephrane Tests");
#else
    std::filesystem::remove_all(kRoot);
#endif
}

}  // namespace
}  // namespace zephrane
