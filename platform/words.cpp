#include "platform/words.h"

namespace zephrane {

std::vector<std::string> SplitWords(std::string_view commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (char c : commandLine) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"') {
            quoted = !quoted;
        } else if (!quoted && byte >= 0x01 && byte <= 0x20) {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace zephrane
