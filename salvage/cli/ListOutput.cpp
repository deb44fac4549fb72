#include "salvage/cli/ListOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace salvage::cli {
namespace {

// A pipe keeps 64 KiB by default, so the listing would wait for the program
// reading it after every few lines of a big volume; a megabyte (what Linux
// grants without privileges) lets both run side by side. When the pipe
// cannot be widened, the listing goes through it as it is.
void WidenPipe(std::FILE* out)
{
#if defined(__linux__)
    const int fd = fileno(out);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode))
        return;
    for (const int size : {1 << 20, 1 << 18})
        if (fcntl(fd, F_SETPIPE_SZ, size) >= 0)
            return;
#else
    (void)out;
#endif
}

} // namespace

TListOutput::TListOutput(std::FILE* out, std::size_t blockBytes)
    : out_(out), blockBytes_(std::max<std::size_t>(blockBytes, 1))
{
    WidenPipe(out_);
    block_.reserve(blockBytes_ + (1u << 16));
}

void TListOutput::Write()
{
    if (!block_.empty() && error_.empty()) {
        errno = 0;
        if (std::fwrite(block_.data(), 1, block_.size(), out_) != block_.size())
            error_ = errno != 0 ? std::strerror(errno) : "the output was cut short";
    }
    block_.clear();
}

bool TListOutput::Finish()
{
    if (!finished_) {
        finished_ = true;
        Write();
        errno = 0;
        if (std::fflush(out_) != 0 && error_.empty())
            error_ = errno != 0 ? std::strerror(errno) : "the output was cut short";
    }
    return error_.empty();
}

} // namespace salvage::cli
