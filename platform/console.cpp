#include "platform/console.h"

#include "platform/system_platform.h"

namespace zephrane {
namespace {

void WriteWhole(StandardStream stream, std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t done = WriteOnce(stream, bytes);
        if (done == 0) {
            return;  // nobody is listening; the run goes on regardless
        }
        bytes.remove_prefix(done);
    }
}

}  // namespace

void SystemPlatform::WriteStdout(std::string_view bytes) { WriteWhole(StandardStream::Output, bytes); }

void SystemPlatform::WriteStderr(std::string_view bytes) { WriteWhole(StandardStream::Error, bytes); }

}  // namespace zephrane
