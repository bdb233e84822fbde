// Runs a program and prints its peak resident memory in KB. Linked
// statically and kept tiny: the kernel counts the memory of the forked copy
// before exec, so the parent of the measured program must be small.
// Usage: peak_memory <program> [arguments...]   (its output is discarded)
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: peak_memory <program> [arguments...]\n");
        return 2;
    }
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return 1;
    }
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
}
