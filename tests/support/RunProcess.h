#pragma once
// Runs a command line and collects its standard output, standard error and
// exit status (for tests of the command-line tool).

#include <string>
#include <vector>

namespace testdata {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// `command` is given to /bin/sh.
[[nodiscard]] ProcessResult RunProcess(const std::string& command);

// The lines of a command's output, without their line ends.
[[nodiscard]] std::vector<std::string> Lines(const std::string& text);

// Quotes a word for /bin/sh.
[[nodiscard]] std::string ShellQuote(const std::string& word);

} // namespace testdata
