#pragma once
// Errors of the engine's own logic. A range error or a stream read error
// inside a worker ends that worker's scan; what was found so far stays.

#include <stdexcept>
#include <string>

namespace salvage {

// An integer or offset outside the range a structure allows.
class ERangeError : public std::runtime_error {
public:
    ERangeError() : std::runtime_error("Range check error") {}
    explicit ERangeError(const std::string& what) : std::runtime_error(what) {}
};

// A read past the end of an in-memory stream (for example a long-name run
// that runs off the end of a directory's data).
class EReadError : public std::runtime_error {
public:
    EReadError() : std::runtime_error("Stream read error") {}
};

} // namespace salvage
