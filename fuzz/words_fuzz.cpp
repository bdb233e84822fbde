// The command-line word splitter and the option test on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/options.h"
#include "platform/platform.h"
#include "platform/words.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zephrane;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> words = SplitWords(line);

    std::size_t total = 0;
    for (const std::string& word : words) {
        // Quotes vanish, empty words are dropped, nothing is invented.
        if (word.empty() || word.find('"') != std::string::npos) {
            std::abort();
        }
        total += word.size();
    }
    if (total > size) {
        std::abort();
    }
    // Without quotes, no word holds a separator.
    if (line.find('"') == std::string_view::npos) {
        for (const std::string& word : words) {
            for (const char c : word) {
                const auto byte = static_cast<unsigned char>(c);
                if (byte >= 0x01 && byte <= 0x20) {
                    std::abort();
                }
            }
        }
    }
    for (const char* option : {"help", "-cache", "+cache", "-config", "+config", "start"}) {
        bool expected = false;
        for (const std::string& word : words) {
            expected = expected || AnsiLowerCase(word) == option;
        }
        if (HasParam(words, option) != expected) {
            std::abort();
        }
    }
    for (const std::string& word : words) {
        const std::string lower = AnsiLowerCase(word);
        if (lower.size() != word.size() || AnsiLowerCase(lower) != lower) {
            std::abort();  // folding keeps lengths and is idempotent
        }
    }
    return 0;
}
