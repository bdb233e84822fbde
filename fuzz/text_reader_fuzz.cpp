// The text-file reader on arbitrary bytes, and the writer's lines read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/text_file.h"
#include "tests/memory_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zephrane;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    testing::MemoryDisk disk;
    disk.files["/rndc.key"] = bytes;
    testing::MemoryFolder etc(disk, "/");
    const std::vector<std::string> lines = ReadLines(etc.OpenFile("rndc.key"));
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
    WriteTextFile(etc, "copy", FileAccess::Plain, lines);
    if (ReadLines(etc.OpenFile("copy")) != lines) {
        std::abort();
    }
    return 0;
}
