#include "tests/support/TestData.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#if defined(_WIN32)
#include <random>
#include <windows.h>
#endif

namespace testdata {

std::string Path(const std::string& relative)
{
    return std::string(KESTREL_TESTDATA_DIR) + "/" + relative;
}

std::string ReferenceFatImage()
{
    return Path("reference/6-undel-fat/6-fat-undel.dd");
}

std::string ReferenceNtfsImage()
{
    return Path("reference/7-undel-ntfs/7-ntfs-undel.dd");
}

GeneratedVolume FatVolume(const std::string& name)
{
    const std::string base = Path("fat/" + name);
    return {base + ".img", base + ".src", base + ".manifest"};
}

std::vector<ManifestEntry> ReadManifest(const std::string& manifestPath)
{
    std::ifstream in(manifestPath);
    if (!in)
        throw std::runtime_error("cannot read " + manifestPath);
    std::vector<ManifestEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string status, kind, path, size;
        if (!std::getline(fields, status, '\t') || !std::getline(fields, kind, '\t') ||
            !std::getline(fields, path, '\t') || !std::getline(fields, size, '\t'))
            continue;
        entries.push_back({status == "deleted", kind == "dir", path, std::stoull(size)});
    }
    return entries;
}

GeneratedVolume NtfsVolume(const std::string& name)
{
    const std::string base = Path("ntfs/" + name);
    return {base + ".img", base + ".src", base + ".manifest"};
}

std::vector<NtfsManifestEntry> ReadNtfsManifest(const std::string& manifestPath)
{
    std::ifstream in(manifestPath);
    if (!in)
        throw std::runtime_error("cannot read " + manifestPath);
    std::vector<NtfsManifestEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string status, kind, path, size, record, condition;
        if (!std::getline(fields, status, '\t') || !std::getline(fields, kind, '\t') ||
            !std::getline(fields, path, '\t') || !std::getline(fields, size, '\t') ||
            !std::getline(fields, record, '\t') || !std::getline(fields, condition, '\t'))
            continue;
        NtfsManifestEntry e;
        e.entry = {status == "deleted", kind == "dir", path, std::stoull(size)};
        e.record = static_cast<std::uint32_t>(std::stoul(record));
        e.condition = condition;
        entries.push_back(e);
    }
    return entries;
}

namespace {

// Paths are UTF-8 in the program; the narrow file API of Windows would read
// them in the ANSI code page.
std::filesystem::path FilePath(const std::string& path)
{
#if defined(_WIN32)
    const int n = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
    return wide;
#else
    return path;
#endif
}

} // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(FilePath(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(FilePath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string MakeTempDir(const std::string& prefix)
{
#if defined(_WIN32)
    // No mkdtemp: random names until one can be created (creation is the test).
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto path = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(path, error))
            return path.string();
    }
    throw std::runtime_error("cannot create a temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    return pattern;
#endif
}

} // namespace testdata
