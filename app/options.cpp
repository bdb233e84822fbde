#include "app/options.h"

#include "platform/platform.h"

namespace zephrane {

bool HasParam(const std::vector<std::string>& args, std::string_view name) {
    const std::string wanted = AnsiLowerCase(std::string(name));
    for (const std::string& arg : args) {
        if (arg.size() == wanted.size() && AnsiLowerCase(arg) == wanted) {
            return true;
        }
    }
    return false;
}

}  // namespace zephrane
