// Word splitting, option tests, path strings and formatters.
#include <gtest/gtest.h>

#include "app/options.h"
#include "platform/paths.h"
#include "config/backup_name.h"
#ifndef _WIN32
#include "platform/posix/windows1252.h"
#endif
#include "platform/words.h"

namespace zephrane {
namespace {

using Words = std::vector<std::string>;

TEST(SplitWords, FollowsTheCommandLineRules) {
    const struct {
        std::string line;
        Words words;
    } cases[] = {
        {"", {}},
        {"zephrane", {"zephrane"}},
        {"  a   b  ", {"a", "b"}},
        {"a\tb\nc\x01" "d\x1F" "e f", {"a", "b", "c", "d", "e", "f"}},
        {"\"C:\\Program Files\\z.exe\" start", {"C:\\Program Files\\z.exe", "start"}},
        {"pre\"fix mid\"dle", {"prefix middle"}},                // quotes inside a word
        {"a \"\" b", {"a", "b"}},                                // a lone pair is no word
        {"a\"\"b", {"ab"}},
        {"\"unterminated quote", {"unterminated quote"}},
        {"back\\\"slash x", {"back\\slash x"}},                  // no escape character
        {"\x7F\x80\xFF", {"\x7F\x80\xFF"}},
        {"x\"\t\"y", {"x\ty"}},
        {"a\x20" "b\x21" "c", {"a", "b!c"}},  // separators end at the blank
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitWords(c.line), c.words) << c.line;
    }
}

// Slash and dash forms and POSIX words with control bytes are rows of the
// run-control, bad-input and Wine end-to-end tables.
TEST(HasParam, MatchesWholeWordsWithoutRegardToCase) {
    const struct {
        Words args;
        const char* name;
        bool expected;
    } cases[] = {
        {{}, "help", false},
        {{"help"}, "help", true},
        {{"HELP"}, "help", true},
        {{"x", "HeLp"}, "help", true},
        {{"-Cache"}, "-cache", true},
        {{"hel"}, "help", false},
        {{"helpme"}, "help", false},
        {{"-cache"}, "+cache", false},
        {{"start "}, "start", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasParam(c.args, c.name), c.expected) << c.name;
    }
}

TEST(HasParam, FoldsTheAccentedCapitalsOfTheAnsiCodePage) {
    EXPECT_TRUE(HasParam({"\xC4\xD6\xDC"}, "\xE4\xF6\xFC"));  // AE OE UE umlauts
    EXPECT_TRUE(HasParam({"\x8A\x8C\x8E\x9F"}, "\x9A\x9C\x9E\xFF"));
    EXPECT_FALSE(HasParam({"\xD7"}, "\xF7"));  // multiplication sign is no letter
}

#ifndef _WIN32
// The POSIX build's stand-in for the ANSI code page; Windows has its own.
TEST(Windows1252, LowerCaseAndUtf8) {
    EXPECT_EQ(Windows1252LowerCase("AZaz\xC0\xDE\xD7\xDF\x8A"), "azaz\xE0\xFE\xD7\xDF\x9A");
    EXPECT_EQ(Windows1252ToUtf8("Ung\xFCltig \x80 \x81"), "Ung\xC3\xBCltig \xE2\x82\xAC \xC2\x81");
}
#endif

TEST(PathStrings, CutAtTheSeparator) {
#ifdef _WIN32
    EXPECT_EQ(ExtractFilePath("C:\\bind\\bin\\rndc-confgen.exe"), "C:\\bind\\bin\\");
    EXPECT_EQ(ExtractFileName("C:\\bind\\bin\\rndc-confgen.exe"), "rndc-confgen.exe");
    EXPECT_EQ(ExtractFilePath("C:zephrane.exe"), "C:");
    EXPECT_EQ(ExtractFileName("C:zephrane.exe"), "zephrane.exe");
    EXPECT_EQ(ExtractFilePath("a/b"), "");  // '/' is no separator here
    EXPECT_EQ(ExtractFileName("a/b"), "a/b");
    EXPECT_EQ(StripTrailingBackslash("etc\\"), "etc");
    EXPECT_EQ(StripTrailingBackslash("etc\\\\"), "etc\\");
#else
    EXPECT_EQ(ExtractFilePath("/opt/bind/bin/rndc-confgen"), "/opt/bind/bin/");
    EXPECT_EQ(ExtractFileName("/opt/bind/bin/rndc-confgen"), "rndc-confgen");
    EXPECT_EQ(ExtractFilePath("C:zephrane"), "");  // no drive marks here
    EXPECT_EQ(StripTrailingBackslash("etc/"), "etc");
    EXPECT_EQ(StripTrailingBackslash("etc//"), "etc/");
#endif
    EXPECT_EQ(ExtractFilePath("zephrane"), "");
    EXPECT_EQ(ExtractFileName("zephrane"), "zephrane");
    EXPECT_EQ(StripTrailingBackslash("etc"), "etc");
    EXPECT_EQ(StripTrailingBackslash(""), "");
}

TEST(Formatters, ZeroPadAndTimeStamp) {
    EXPECT_EQ(ZeroPad(7, 2), "07");
    EXPECT_EQ(ZeroPad(2009, 4), "2009");
    EXPECT_EQ(ZeroPad(123, 2), "123");
    EXPECT_EQ(ZeroPad(0, 0), "0");
    EXPECT_EQ(ZeroPad(65535, 6), "065535");
    EXPECT_EQ(TimeStamp({2010, 2, 1, 9, 5, 3}), "20100201090503");
    EXPECT_EQ(TimeStamp({2026, 12, 31, 23, 59, 59}), "20261231235959");
}

}  // namespace
}  // namespace zephrane
