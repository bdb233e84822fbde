// One step of a configuration run that waits on something outside the tool,
// through the real platform, in a process of its own: the benchmark times
// this program with and without the step, so the step's cost includes what
// it loads on first use (libcurl for the download).
// Usage: step_times none
//        step_times query <service>
//        step_times generator <program> <arguments>
//        step_times download <url>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/platform.h"

int main(int argc, char** argv) {
    const std::unique_ptr<zephrane::Platform> system = zephrane::CreateSystemPlatform();
    const char* step = argc > 1 ? argv[1] : "";
    if (std::strcmp(step, "none") == 0 && argc == 2) {
        return 0;
    }
    if (std::strcmp(step, "query") == 0 && argc == 3) {
        system->GetServiceState(argv[2]);
        return 0;
    }
    if (std::strcmp(step, "generator") == 0 && argc == 4) {
        const std::unique_ptr<zephrane::Program> program = system->HoldProtectedProgram(argv[2]);
        return program && system->RunAndWait(*program, argv[3]) ? 0 : 1;
    }
    if (std::strcmp(step, "download") == 0 && argc == 3) {
        return system->Download(argv[2]) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: step_times none | query <service> | generator <program> <arguments> | "
                         "download <url>\n");
    return 2;
}
