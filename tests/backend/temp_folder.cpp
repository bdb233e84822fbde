#include "tests/backend/temp_folder.h"

#include <fstream>
#include <random>
#include <sstream>

#include "platform/platform.h"

namespace zephrane::testing {

TempFolder::TempFolder() {
    std::random_device random;
    // A blank in the name, as under "Program Files".
    do {
        root_ = std::filesystem::temp_directory_path() / ("zephrane test " + std::to_string(random()));
    } while (!std::filesystem::create_directory(root_));
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempFolder::Create(const std::string& name) const {
    const std::filesystem::path folder = root_ / name;
    std::filesystem::create_directories(folder);
    return folder.string() + kPathSeparator;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace zephrane::testing
