// The rules of the texts the tool reads: its command line, paths, text
// files and root hints. Whole runs are the scenario table's; these are the
// cases a run cannot show one by one.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/options.h"
#include "config/root_hints.h"
#include "io/text_file.h"
#include "platform/paths.h"
#include "platform/words.h"
#include "tests/memory_disk.h"

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
    EXPECT_EQ(StripTrailingBackslash("etc" + s + s), "etc" + s);
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
    for (const auto& [bytes, lines] : cases) {
        testing::MemoryDisk disk;
        disk.files["/f"] = bytes;
        testing::MemoryFolder folder(disk, "/");
        EXPECT_EQ(ReadTextFile(folder, "f"), lines) << ::testing::PrintToString(bytes);
    }
}

const std::string kHints =
    ".                        3600000      NS    A.ROOT-SERVERS.NET.\n"
    "A.ROOT-SERVERS.NET.      3600000      A     198.41.0.4\n"
    "A.ROOT-SERVERS.NET.      3600000      AAAA  2001:503:ba3e::2:30\n"
    ".                        3600000      NS    B.ROOT-SERVERS.NET.\n"
    "B.ROOT-SERVERS.NET.      3600000      A     170.247.170.2\n";

TEST(IsRootHints, TakesTheRealFile) {
#ifdef _WIN32
    const char* path = "Z:/usr/share/dns/root.hints";  // Wine's drive for /
#else
    const char* path = "/usr/share/dns/root.hints";
#endif
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path << " (Debian's dns-root-data)";
    EXPECT_TRUE(IsRootHints(std::string(std::istreambuf_iterator<char>(in), {})));
}

TEST(IsRootHints, TakesTheWaysZoneFilesWriteIt) {
    const char* cases[] = {
        ". NS a.root.\na.root. A 192.0.2.1",                                // no final line end
        ". 3600000 NS a.root.\r\na.root. 3600000 A 192.0.2.1\r\n",          // CR LF
        ". in ns A.Root.\nA.ROOT. IN a 192.0.2.1\n",                        // any case
        ". IN 3600000 NS a.root.\na.root. 3600000 IN A 192.0.2.1\n",       // TTL and class in either order
        ". 1w2d NS a.root.\na.root. AAAA 2001:db8::1\n",                   // TTL units, IPv6 glue only
        "$TTL 3600000\n$origin root.\n@ NS a\n.\tNS b.root.\na A 192.0.2.1\nb A 192.0.2.2\n",
        "; comment\n\n   \t\n. NS a.root. ; who\na.root. A 192.0.2.1;x\n;", // comments and blank lines
        ". NS a.root.\na.root. A 192.0.2.1\n\tAAAA 2001:db8::1\n",         // owner carried on
    };
    for (const char* text : cases) {
        EXPECT_TRUE(IsRootHints(text)) << text;
    }
}

TEST(IsRootHints, RefusesWhatNamedCouldNotUseAsHints) {
    const std::string cases[] = {
        "",
        "; only a comment\n\n",
        "<!DOCTYPE html>\n<html><body>Not Found</body></html>\n",
        "com. NS a.gtld.\na.gtld. A 192.0.2.1\n",                      // NS not for "."
        kHints + ". NS C.ROOT-SERVERS.NET.\n",                          // a target without glue
        kHints + ". SOA a.root. admin. 1 2 3 4 5\n",                   // other record types
        kHints + "www. CNAME a.root.\n",
        kHints + "A.ROOT-SERVERS.NET. CH A 192.0.2.1\n",               // other class
        kHints + "$INCLUDE /etc/passwd\n",
        kHints + "$TTL\n",
        kHints + "B.ROOT-SERVERS.NET. A 170.247.170.256\n",            // no IPv4 address
        kHints + "B.ROOT-SERVERS.NET. A 170.247.170\n",
        kHints + "B.ROOT-SERVERS.NET. AAAA 2001-db8\n",
        kHints + ". NS a.root. b.root.\n",                             // extra data
        kHints + "a..root. A 192.0.2.1\n",
        "\tNS a.root.\na.root. A 192.0.2.1\n",                         // no owner to carry on
        kHints + "garbage\n",
    };
    for (const std::string& text : cases) {
        EXPECT_FALSE(IsRootHints(text)) << text;
    }
}

}  // namespace
}  // namespace zephrane
