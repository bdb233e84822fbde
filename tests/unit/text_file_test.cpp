// Text files byte for byte, the console's blocks, ForceDirectories, the error report.
#include <gtest/gtest.h>

#include "app/error_report.h"
#include "io/console.h"
#include "io/directories.h"
#include "platform/run_error.h"
#include "io/text_file.h"
#include "tests/fake_platform.h"

namespace zephrane {
namespace {

using testing::FakePlatform;

const std::string kFile = FakePlatform::Join({"etc", "f.txt"}, false);
const std::string kEtc = FakePlatform::Join({"etc"}, false);

FakePlatform WithEtc() {
    FakePlatform platform;
    platform.folders.insert(kEtc);
    return platform;
}

// Line ends and replacing a file are in every golden file comparison.
TEST(TextWriter, LeavesOnlyFullBlocksBeforeTheClose) {
    FakePlatform platform = WithEtc();
    TextWriter writer(platform.OpenFolder(kEtc, {})->CreateFile("f.txt", FileAccess::Plain));
    writer.Write(std::string(300, 'x'));
    EXPECT_EQ(platform.files[kFile].size(), 256u);
    writer.Close();
    EXPECT_EQ(platform.files[kFile], std::string(300, 'x'));
}


TEST(TextReader, SplitsLinesByTheTextFileRules) {
    const struct {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"\r\n", {""}},
        {"x\r\ny", {"x", "y"}},
        {"x\ny\n", {"x", "y"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\rb\r\r\nc", {"ab", "c"}},              // lone CR dropped, CR CR LF ends once
        {"a\r", {"a"}},
        {"ab\x1A" "cd\nef\n", {"ab", "ef"}},      // Ctrl-Z ends the line's text
        {"ab\n\x1A" "cd\nef\n", {"ab"}},          // Ctrl-Z at a line start ends input
        {"\x1A", {}},
        {std::string(127, 'p') + "\r\nq", {std::string(127, 'p'), "q"}},  // CR LF across blocks
        {std::string(1000, 'l'), {std::string(1000, 'l')}},
    };
    for (const auto& c : cases) {
        FakePlatform platform = WithEtc();
        platform.files[kFile] = c.bytes;
        EXPECT_EQ(ReadTextFile(*platform.OpenFolder(kEtc, {}), "f.txt"), c.lines) << ::testing::PrintToString(c.bytes);
    }
}

TEST(TextReader, MissingFileIsAnIoError) {
    FakePlatform platform = WithEtc();
    EXPECT_THROW(ReadTextFile(*platform.OpenFolder(kEtc, {}), "f.txt"), RunError);
}

TEST(Console, LineByLineOnAConsoleInBlocksOtherwise) {
    FakePlatform console;
    console.console = true;
    Console out(console);
    out.WriteLine("x");
    EXPECT_EQ(console.out, "x" + std::string(kLineEnd));

    FakePlatform redirected;
    Console blocked(redirected);
    blocked.WriteLine("short");
    EXPECT_EQ(redirected.out, "");
    blocked.WriteLine(std::string(200, 'y'));
    EXPECT_EQ(redirected.out.size(), 128u);
    blocked.Flush();
    EXPECT_EQ(redirected.out, "short" + std::string(kLineEnd) + std::string(200, 'y') + std::string(kLineEnd));
}

TEST(ForceDirectories, CreatesFromTheOutermostMissingFolder) {
    FakePlatform platform;
    platform.folders.insert(FakePlatform::Join({"a"}, false));
    EXPECT_TRUE(ForceDirectories(platform, FakePlatform::Join({"a", "b", "c"}, true)));
    EXPECT_EQ(platform.calls, (std::vector<std::string>{
                                  "CreateDirectory(" + FakePlatform::Join({"a", "b"}, false) + ")",
                                  "CreateDirectory(" + FakePlatform::Join({"a", "b", "c"}, false) + ")",
                              }));
    platform.calls.clear();
    EXPECT_TRUE(ForceDirectories(platform, FakePlatform::Join({"a", "b", "c"}, true)));
    EXPECT_TRUE(platform.calls.empty());  // already there: nothing done

    platform.uncreatable.insert(FakePlatform::Join({"x"}, false));
    EXPECT_FALSE(ForceDirectories(platform, FakePlatform::Join({"x", "y"}, true)));
    EXPECT_EQ(platform.folders.count(FakePlatform::Join({"x", "y"}, false)), 0u);

    EXPECT_THROW(ForceDirectories(platform, ""), RunError);
}

TEST(ErrorReport, TwoLinesAndAnEmptyOne) {
    const std::string end(kLineEnd);
    EXPECT_EQ(FormatErrorReport(RunError("EInOutError", "Datei nicht gefunden", 0x0040A1B2), "zephrane.exe"),
              "Exception EInOutError in Modul zephrane.exe bei 0040A1B2." + end + "Datei nicht gefunden." + end + end);
    EXPECT_EQ(FormatErrorReport(RunError("X", "Ends with a dot.", 0xFFFFFFFF), "z"),
              "Exception X in Modul z bei FFFFFFFF." + end + "Ends with a dot." + end + end);
}

// Codes 2, 3, 5 and 112 are met by the backend and fault suites on real files.
TEST(ErrorReport, MessagesOfOtherIoCodes) {
    for (const auto& [code, message] : {std::pair{4u, "Zu viele ge\xF6" "ffnete Dateien"}, {32u, "E/A-Fehler 32"}}) {
        try {
            ThrowIoError(code);
        } catch (const RunError& error) {
            EXPECT_EQ(error.ClassName() + ": " + error.Message(), std::string("EInOutError: ") + message);
        }
    }
}

}  // namespace
}  // namespace zephrane
