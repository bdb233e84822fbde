// The rules of the texts the tool reads: its command line, paths, text
// files and root hints. Whole runs are the scenario table's; these are the
// cases a run cannot show one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/error_report.h"
#include "app/options.h"
#include "config/install_paths.h"
#include "config/root_hints.h"
#include "io/text_file.h"
#include "platform/paths.h"
#include "platform/words.h"
#include "tests/memory_file.h"

namespace zephrane {
namespace {

using Words = std::vector<std::string>;

TEST(SplitWords, FollowsTheCommandLineRules) {
    const std::pair<std::string, Words> cases[] = {
        {"", {}},
        {"  a   b  ", {"a", "b"}},
        {"a\tb\nc\x01" "d\x1F" "e f", {"a", "b", "c", "d", "e", "f"}},
        {"\"C:\\Program Files\\z.exe\" start", {"C:\\Program Files\\z.exe", "start"}},
        {"pre\"fix mid\"dle", {"prefix middle"}},  // quotes inside a word
        {"a \"\" b", {"a", "b"}},                   // a lone pair is no word
        {"\"unterminated quote", {"unterminated quote"}},
        {"back\\\"slash x", {"back\\slash x"}},   // no escape character
        {"\x7F\x80\xFF x\"\t\"y", {"\x7F\x80\xFF", "x\ty"}},
    };
    for (const auto& [line, words] : cases) {
        EXPECT_EQ(SplitWords(line), words) << line;
    }
}

#ifndef _WIN32
// The error report leaves as UTF-8 on POSIX: its text is Windows-1252.
TEST(AnsiToErrorConsole, Windows1252AsUtf8) {
    EXPECT_EQ(AnsiToErrorConsole("a\xFC\x80\x9F"), "a\xC3\xBC\xE2\x82\xAC\xC5\xB8");
}
#endif

TEST(HasParam, FoldsTheAnsiCodePagesCapitalsOnWholeWords) {
    EXPECT_TRUE(HasParam({"\xC4\xD6\xDC", "x"}, "\xE4\xF6\xFC"));  // umlauts
    EXPECT_TRUE(HasParam({"\x8A\x8C\x8E\x9F"}, "\x9A\x9C\x9E\xFF"));
    EXPECT_FALSE(HasParam({"\xD7"}, "\xF7"));  // the multiplication sign is no letter
    EXPECT_FALSE(HasParam({"hel", "helpme", "start "}, "help"));
}

TEST(PathStrings, CutAtTheSeparatorAndTheDriveMark) {
    const std::string s(1, kPathSeparator);
    EXPECT_EQ(ExtractFilePath("C:zephrane"), kHasDriveMark ? "C:" : "");
    EXPECT_EQ(ExtractFileName("a" + s + "b" + s + "c.exe"), "c.exe");
    EXPECT_EQ(ExtractFilePath("a" + s + "b" + s + "c.exe"), "a" + s + "b" + s);
    EXPECT_EQ(ExtractFileName("zephrane"), "zephrane");
    EXPECT_EQ(StripTrailingSeparator("etc" + s + s), "etc" + s);
}

TEST(IsUsableInstallDir, AFolderBelowAFileSystemsRootAndNothingElse) {
    // Written with '/' and turned into the build's own form.
    const std::pair<std::string, bool> posix[] = {
        {"/opt/bind/", true}, {"/opt//bind//", true}, {"/opt/bind..9/", true}, {"/", false}, {"//", false},
        {"/./", false},       {"/lib/../", false},    {"/opt/./bind/", false},  {"opt/bind/", false},
        {"/opt/\"bind\"/", false},
    };
    const std::pair<std::string, bool> windows[] = {
        {"C:/BIND/", true},     {"//server/s/B/", true}, {"C:/", false},           {"C://", false},
        {"//server/share/", false}, {"//server//x/BIND/", false}, {"///share/x/BIND/", false}, {"C:BIND/", false},
        {"//./C:/BIND/", false},
    };
    for (const auto& [path, usable] : kHasDriveMark ? std::vector(std::begin(windows), std::end(windows))
                                                    : std::vector(std::begin(posix), std::end(posix))) {
        std::string native = path;
        std::replace(native.begin(), native.end(), '/', kPathSeparator);
        EXPECT_EQ(IsUsableInstallDir(native), usable) << path;
    }
}

// What an error nobody handled says, in the described words: scripts parse them.
TEST(ErrorReport, TheDescribedWordsForWhatHappened) {
    using Cause = RunError::Cause;
    const std::pair<RunError, std::string> cases[] = {
        {RunError(Cause::Io, 2, "", 0x1234abcd), "EInOutError bei 1234ABCD.|Datei nicht gefunden."},
        {RunError(Cause::Io, 3, "", 0), "EInOutError bei 00000000.|Ung\xFCltiger Dateiname."},
        {RunError(Cause::Io, 4, "", 0), "EInOutError bei 00000000.|Zu viele ge\xF6" "ffnete Dateien."},
        {RunError(Cause::Io, 5, "", 0), "EInOutError bei 00000000.|Dateizugriff verweigert."},
        {RunError(Cause::Io, 112, "", 0), "EInOutError bei 00000000.|E/A-Fehler 112."},
        {RunError(Cause::RegistryType, 0, "InstallDir", 0),
         "ERegistryException bei 00000000.|Ung\xFCltiger Datentyp f\xFCr 'InstallDir'."},
        {RunError(Cause::EmptyPath, 0, "", 0), "EInOutError bei 00000000.|Verzeichnis kann nicht erstellt werden."},
    };
    const auto report = [](const std::string& line) {
        const std::string end(kLineEnd);
        const std::size_t blank = line.find(' ');
        const std::size_t bar = line.find('|');
        return "Exception " + line.substr(0, blank) + " in Modul z.exe" + line.substr(blank, bar - blank) + end +
               line.substr(bar + 1) + end + end;
    };
    for (const auto& [error, expected] : cases) {
        EXPECT_EQ(FormatErrorReport(error, "z.exe"), report(expected));
    }
    EXPECT_EQ(FormatOutOfMemoryReport("z.exe"), report("EOutOfMemory bei 00000000.|Zu wenig Arbeitsspeicher."));
}

TEST(TextReader, SplitsLinesByTheTextFileRules) {
    const std::pair<std::string, Words> cases[] = {
        {"", {}},
        {"\r\n", {""}},
        {"x\r\ny", {"x", "y"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\rb\r\r\nc", {"ab", "c"}},      // a lone CR dropped, CR CR LF ends once
        {"ab\x1A" "cd\nef\n", {"ab", "ef"}},  // Ctrl-Z ends the line's text
        {"ab\n\x1A" "cd\nef\n", {"ab"}},    // Ctrl-Z at a line start ends the input
        {std::string(127, 'p') + "\r\nq", {std::string(127, 'p'), "q"}},  // CR LF across buffers
        {std::string(1000, 'l'), {std::string(1000, 'l')}},
    };
    for (auto [bytes, lines] : cases) {
        EXPECT_EQ(ReadLines(std::make_unique<testing::MemoryFile>(bytes)), lines) << ::testing::PrintToString(bytes);
    }
}

// The cases of tests/fixtures/root_hints_cases.txt.
TEST(IsRootHints, TakesWhatNamedCanUseAsHintsAndNothingElse) {
    std::string hints;
    std::ifstream in(std::string(kHasDriveMark ? "Z:" : "") + ZEPHRANE_FIXTURES "/root_hints_cases.txt");
    int cases = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::string text;
        for (std::size_t i = line.find(": ") + 2; i < line.size(); ++i) {
            const std::size_t escape = line[i] == '\\' ? std::string("nrt").find(line[i + 1]) : std::string::npos;
            text += escape != std::string::npos ? "\n\r\t"[escape] : line[i];
            i += escape != std::string::npos;
        }
        if (line[0] == '=') {
            hints = text;
            continue;
        }
        for (std::size_t at; (at = text.find("{HINTS}")) != std::string::npos;) {
            text.replace(at, 7, hints);
        }
        EXPECT_EQ(IsRootHints(text), line[0] == '+') << line;
        ++cases;
    }
    EXPECT_EQ(cases, 49);
}

}  // namespace
}  // namespace zephrane
