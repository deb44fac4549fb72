#include "tests/support/RunProcess.h"

#include "tests/support/TestData.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace testdata {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();  // a program's text output on Windows
        lines.push_back(line);
    }
    return lines;
}

#if defined(_WIN32)
// cmd.exe: double quotes around the word (the tests pass no quotes inside).
std::string ShellQuote(const std::string& word)
{
    return "\"" + word + "\"";
}

ProcessResult RunProcess(const std::string& command)
{
    const std::string dir = MakeTempDir("kestrel-run");
    const std::string errPath = dir + "\\stderr";
    ProcessResult result;
    // cmd /c drops the first and the last quote of its line: one more pair
    // keeps the command's own.
    FILE* pipe = _popen(("\"" + command + " 2>" + ShellQuote(errPath) + "\"").c_str(), "rb");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    result.exitCode = _pclose(pipe);
    std::ifstream err(errPath, std::ios::binary);
    std::stringstream text;
    text << err.rdbuf();
    result.err = text.str();
    err.close();
    std::filesystem::remove_all(dir);
    return result;
}
#else
std::string ShellQuote(const std::string& word)
{
    std::string out = "'";
    for (const char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ProcessResult RunProcess(const std::string& command)
{
    const std::string dir = MakeTempDir("kestrel-run");
    const std::string errPath = dir + "/stderr";
    ProcessResult result;
    FILE* pipe = popen((command + " 2>" + ShellQuote(errPath)).c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errPath);
    std::stringstream text;
    text << err.rdbuf();
    result.err = text.str();
    std::filesystem::remove_all(dir);
    return result;
}

#endif

} // namespace testdata
