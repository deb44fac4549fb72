#pragma once
// Where the test volumes are and how to read what was put into them.

#include <cstdint>
#include <string>
#include <vector>

namespace testdata {

// A path below the build folder's testdata directory.
[[nodiscard]] std::string Path(const std::string& relative);

// The unpacked reference images.
[[nodiscard]] std::string ReferenceFatImage();   // 6-fat-undel.dd, FAT16
[[nodiscard]] std::string ReferenceNtfsImage();  // 7-ntfs-undel.dd, NTFS

// A generated FAT volume by name ("fat12", "fat16", "fat32").
struct GeneratedVolume {
    std::string image;     // the .img file
    std::string source;    // folder with the bytes of every file copied in, by path
    std::string manifest;  // what the volume holds
};
[[nodiscard]] GeneratedVolume FatVolume(const std::string& name);

struct ManifestEntry {
    bool deleted = false;
    bool directory = false;
    std::string path;  // "/Docs/report 2024.doc"
    std::uint64_t size = 0;
};
[[nodiscard]] std::vector<ManifestEntry> ReadManifest(const std::string& manifestPath);

// A generated NTFS volume by name ("ntfs4k", "ntfs512", "ntfs4kn").
[[nodiscard]] GeneratedVolume NtfsVolume(const std::string& name);

// NTFS manifests also give each entry's MFT record and, for a deleted file,
// whether its clusters were still free when the volume was made.
struct NtfsManifestEntry {
    ManifestEntry entry;
    std::uint32_t record = 0;
    std::string condition;  // "good", "poor", "-"
};
[[nodiscard]] std::vector<NtfsManifestEntry> ReadNtfsManifest(const std::string& manifestPath);

[[nodiscard]] std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A fresh empty folder below the system's temporary folder, for one test.
[[nodiscard]] std::string MakeTempDir(const std::string& prefix);

} // namespace testdata
