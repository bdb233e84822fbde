// A fresh folder below the system's temporary folder, removed with its
// content at the end of the test.
#pragma once

#include <filesystem>
#include <string>

namespace zephrane::testing {

class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    // The path of the subfolder `name`, created, with the build's separator at its end.
    std::string Create(const std::string& name) const;

private:
    std::filesystem::path root_;
};

// The whole content of a file, bytes as they are.
std::string ReadBytes(const std::string& path);

}  // namespace zephrane::testing
