// A stand-in for a suite tool in the launcher's tests. Started, it appends
// one line "PID PROGRAM" (its own program file) to the file named by
// $KESTREL_STANDIN_LOG; with $KESTREL_STANDIN_STAY=1 it then waits until it
// is ended.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main()
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0)
        self[n] = '\0';
    if (const char* log = std::getenv("KESTREL_STANDIN_LOG")) {
        if (std::FILE* out = std::fopen(log, "a")) {
            std::fprintf(out, "%ld %s\n", static_cast<long>(::getpid()), self);
            std::fclose(out);
        }
    }
    const char* stay = std::getenv("KESTREL_STANDIN_STAY");
    if (stay && std::string(stay) == "1") {
        for (;;)
            ::pause();
    }
    return 0;
}
