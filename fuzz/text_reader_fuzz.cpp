// The text-file reader on arbitrary bytes, and the writer's lines read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/text_file.h"
#include "tests/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zephrane;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = ReadLines(std::make_unique<testing::MemoryFile>(bytes));
    std::size_t total = 0;
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n\x1A") != std::string::npos) {
            std::abort();  // line ends and Ctrl-Z never reach a line
        }
        total += line.size();
    }
    if (total > size || lines.size() > size) {
        std::abort();
    }

    // What was read holds no line-end bytes or Ctrl-Z, so written out again
    // it reads back exactly.
    std::string copy;
    TextWriter writer(std::make_unique<testing::MemoryFile>(copy));
    for (const std::string& line : lines) {
        writer.WriteLine(line);
    }
    writer.Close();
    if (ReadLines(std::make_unique<testing::MemoryFile>(copy)) != lines) {
        std::abort();
    }
    return 0;
}
