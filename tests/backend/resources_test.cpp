// zephrane.exe's version resource and manifest, read back the way Windows
// reads them; the expected values come from CMake, not from the resources.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// The build machine's / is drive Z: under Wine.
std::string ExecutablePath() {
    std::string path = ZEPHRANE_EXE;
    if (path.front() == '/') {
        path = "Z:" + path;
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string Numbers(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) + "." +
           std::to_string(LOWORD(low));
}

std::string Text(const std::vector<char>& info, const std::string& name) {
    void* value = nullptr;
    UINT size = 0;
    const std::string query = "\\StringFileInfo\\040904B0\\" + name;
    return VerQueryValueA(info.data(), query.c_str(), &value, &size) ? static_cast<const char*>(value) : "(missing)";
}

TEST(Resources, VersionAndManifest) {
    const std::string path = ExecutablePath();
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), nullptr));
    ASSERT_FALSE(info.empty()) << path;
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    ASSERT_GE(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(Numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS), EXPECTED_VERSION_NUMBERS);
    EXPECT_EQ(Numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS), EXPECTED_VERSION_NUMBERS);
    EXPECT_EQ(Text(info, "ProductVersion"), EXPECTED_VERSION_TEXT);
    EXPECT_EQ(Text(info, "OriginalFilename"), "zephrane.exe");

    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> module(
        LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), &FreeLibrary);
    ASSERT_TRUE(module) << GetLastError();
    HRSRC found = FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_TRUE(found);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module.get(), found))),
                               SizeofResource(module.get(), found));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);  // Windows 10 and 11
    EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos) << "the ANSI code page must stay the system's";
}

}  // namespace
