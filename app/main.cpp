#include "app/run.h"

int main(int argc, char** argv) {
    using namespace zephrane;
    return RunAndReport(*CreateSystemPlatform(), CommandLineArguments(argc, argv));
}
