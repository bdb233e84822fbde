// The four generated files, compared whole against the texts BIND is given.
#include <gtest/gtest.h>

#include <fstream>

#include "config/config_files.h"
#include "tests/fake_platform.h"

namespace zephrane {
namespace {

using testing::FakePlatform;

// The expected files are written as on Windows; for the POSIX build the
// drive goes and every '\' becomes '/'.
std::string Native(std::string text) {
    if constexpr (kPathSeparator == '/') {
        for (std::string::size_type at; (at = text.find("C:\\")) != std::string::npos;) {
            text.replace(at, 3, "/");
        }
        for (char& c : text) {
            c = c == '\\' ? '/' : c;
        }
    }
    return text;
}

const KeyLines kKey = {"key \"rndc-key\" {", "\talgorithm hmac-md5;", "\tsecret \"sB4fHx0dG2iLmQ==\";", "};"};

// tests/fixtures/golden/<name> (shared with the Wine end-to-end suite): the
// installation folder `d` (Windows form) in place of {D}, the key lines in
// place of the line {KEY}, every line ended as this build ends it.
std::string Expected(const std::string& name, const std::string& d, const KeyLines& key) {
    std::ifstream in((kHasDriveMark ? "Z:" : "") + std::string(ZEPHRANE_GOLDEN_DIR) + "/" + name);
    EXPECT_TRUE(in) << name;
    std::string text;
    for (std::string line; std::getline(in, line);) {
        if (line == "{KEY}") {
            for (const std::string& keyLine : key) {
                text += keyLine + std::string(kLineEnd);
            }
            continue;
        }
        if (const auto at = line.find("{D}"); at != std::string::npos) {
            line = Native(line.replace(at, 3, d));
        }
        text += line + std::string(kLineEnd);
    }
    return text;
}

struct Golden {
    const char* name;
    std::string installDir;  // Windows form
    KeyLines key;
};

class GeneratedFiles : public ::testing::TestWithParam<Golden> {};

TEST_P(GeneratedFiles, AreByteForByteTheExpectedTexts) {
    const Golden& g = GetParam();
    const std::string d = Native(g.installDir);
    for (const ConfigFile& file : ConfigFiles(d, g.key)) {
        EXPECT_EQ(testing::Lines(file.lines), Expected(file.name, g.installDir, g.key)) << file.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, GeneratedFiles,
    ::testing::Values(Golden{"BlanksWithKey", "C:\\Program Files\\ISC BIND 9\\", kKey},
                      Golden{"BlanksWithoutKey", "C:\\Program Files\\ISC BIND 9\\", {}},
                      Golden{"PlainWithKey", "C:\\bind\\", kKey},
                      Golden{"PlainWithoutKey", "C:\\bind\\", {}},
                      Golden{"KeyWithEmptyLine", "C:\\bind\\", {"key \"rndc-key\" {", "", "};"}}),
    [](const ::testing::TestParamInfo<Golden>& info) { return info.param.name; });

}  // namespace
}  // namespace zephrane
