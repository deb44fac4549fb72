#pragma once
// Where a listing goes: lines formatted straight into a block of about a
// quarter megabyte (no string per line or per field: a big volume lists
// millions of lines), each full block written out at once. A write that
// fails is remembered, and what follows it is dropped.

#include <cstdio>
#include <string>
#include <string_view>

namespace salvage::cli {

class TListOutput {
public:
    // Into `out` (standard output, a pipe of which is widened first).
    explicit TListOutput(std::FILE* out = stdout, std::size_t blockBytes = 1u << 18);
    ~TListOutput() { (void)Finish(); }
    TListOutput(const TListOutput&) = delete;
    TListOutput& operator=(const TListOutput&) = delete;

    void Line(std::string_view text)
    {
        block_ += text;
        EndLine();
    }
    // Lines made in place: Text() to append to, then EndLine().
    [[nodiscard]] std::string& Text() noexcept { return block_; }
    void EndLine()
    {
        block_ += '\n';
        if (block_.size() >= blockBytes_)
            Write();
    }

    // Writes what is left. False when a write failed; Error() then says why
    // in the system's words.
    [[nodiscard]] bool Finish();
    [[nodiscard]] const std::string& Error() const noexcept { return error_; }

private:
    void Write();

    std::FILE* out_;
    const std::size_t blockBytes_;
    std::string block_;
    std::string error_;  // of the first write that failed
    bool finished_ = false;
};

} // namespace salvage::cli
