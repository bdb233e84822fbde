// zephrane.exe's version resource and manifest, read back the way Windows
// reads them; the expected values come from CMake, not from the resources.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/win32/handles.h"

namespace {

std::string Numbers(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) + "." +
           std::to_string(LOWORD(low));
}

TEST(Resources, VersionAndManifest) {
    const std::string path = "Z:" ZEPHRANE_EXE;  // the build machine's / is drive Z: under Wine
    std::string info(GetFileVersionInfoSizeA(path.c_str(), nullptr), '\0');
    ASSERT_TRUE(!info.empty() && GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size) && size >= sizeof *fixed);
    EXPECT_EQ(Numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS), EXPECTED_VERSION_NUMBERS);
    EXPECT_EQ(Numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS), EXPECTED_VERSION_NUMBERS);
    for (const auto& [name, expected] : {std::pair{"ProductVersion", EXPECTED_VERSION_TEXT},
                                         std::pair{"OriginalFilename", "zephrane.exe"}}) {
        char* text = nullptr;
        EXPECT_STREQ(VerQueryValueA(info.data(), (std::string("\\StringFileInfo\\040904B0\\") + name).c_str(),
                                    reinterpret_cast<void**>(&text), &size) ? text : "", expected);
    }

    const zephrane::UniqueHandle<HMODULE, FreeLibrary> module(
        LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HRSRC found = module ? FindResourceA(module.get(), MAKEINTRESOURCEA(1), RT_MANIFEST) : nullptr;
    ASSERT_TRUE(found) << GetLastError();
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module.get(), found))),
                               SizeofResource(module.get(), found));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);  // Windows 10 and 11
    EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos) << "the ANSI code page must stay the system's";
}

}  // namespace
