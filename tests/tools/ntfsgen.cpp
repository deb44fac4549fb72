// ntfsgen IMAGE SCRIPT MANIFEST: fills an NTFS image made by `mkntfs -F -f`
// by following a script, through libntfs-3g (no mount), and writes what it
// made to MANIFEST.
//
// Script lines, fields separated by tabs ('#' starts a comment line):
//   mkdir PATH                      a folder
//   put PATH SRC                    a file with SRC's bytes
//   dosname PATH SHORT              gives a file a DOS 8.3 name beside its long one
//   sparse PATH OFFSET SRC          a file holding SRC's bytes at OFFSET, with a
//                                   hole (a sparse run) before them
//   append PATH SRC                 adds SRC's bytes at the end of a file
//   stream PATH NAME SRC            a named data stream with SRC's bytes
//   compress PATH SRC               a compressed file (LZNT1) with SRC's bytes
//   write PATH OFFSET SRC           writes SRC's bytes into a file at OFFSET
//                                   (past its end: a hole before them)
//   scatter PATH SRC CHUNK          a file holding SRC's bytes CHUNK at a time,
//                                   each piece followed by a hole of CHUNK
//                                   bytes: a run list too long for one record
//   encrypt PATH                    flags a file's data as encrypted (EFS)
//                                   without changing its bytes
//   interleave CHUNK PATH1 SRC1 PATH2 SRC2
//                                   two files written CHUNK bytes at a time in
//                                   turn, so that both end up fragmented
//   delete PATH                     deletes a file or an empty folder
//   remount                         unmounts and mounts again (flushes everything)
//   bulk DIR FOLDERS FILES SIZE     FOLDERS folders DIR/dNNNN holding FILES
//                                   files fNNNNN.dat of SIZE bytes each
//   bulkdelete DIR FOLDERS FILES EVERY
//                                   deletes every EVERY-th of those files
//
// Manifest lines: live|deleted TAB file|dir TAB /path TAB size TAB record TAB
// condition, in creation order. A record number can appear more than once
// when a deleted entry's record was reused; the last line holds it now. The
// condition of a deleted file is "good" when none of the clusters it had is
// in use at the end (by the library's own bitmap), "poor" otherwise; "-" for
// everything else.

#define HAVE_TIME_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_STDARG_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_STDINT_H 1

extern "C" {
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/runlist.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace {

struct Entry {
    bool deleted = false;
    bool directory = false;
    std::string path;
    unsigned long long size = 0;
    unsigned long long record = 0;
    std::vector<std::pair<long long, long long>> clusters;  // (LCN, count) it had when deleted
    bool poor = false;
};

class Generator {
public:
    explicit Generator(std::string image) : image_(std::move(image)) { Mount(); }
    ~Generator()
    {
        if (vol_)
            ntfs_umount(vol_, FALSE);
    }

    void Run(const std::vector<std::string>& f);
    void Finish()
    {
        Assess();
        ntfs_volume* vol = vol_;
        vol_ = nullptr;
        if (ntfs_umount(vol, FALSE) != 0)
            Fail("unmount");
    }
    void WriteManifest(const std::string& path) const;

private:
    void Mount()
    {
        vol_ = ntfs_mount(image_.c_str(), NTFS_MNT_NONE);
        if (!vol_)
            Fail("mount " + image_);
        // Files flagged compressed are written compressed (the "compression"
        // mount option); the others are not affected.
        NVolSetCompression(vol_);
    }
    [[noreturn]] static void Fail(const std::string& what)
    {
        throw std::runtime_error(what + ": " + std::strerror(errno));
    }

    static void Split(const std::string& path, std::string& parent, std::string& name)
    {
        const auto slash = path.rfind('/');
        if (path.empty() || path[0] != '/' || slash == std::string::npos || slash + 1 == path.size())
            throw std::runtime_error("bad path " + path);
        parent = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }

    ntfs_inode* Open(const std::string& path)
    {
        ntfs_inode* ni = ntfs_pathname_to_inode(vol_, nullptr, path.c_str());
        if (!ni)
            Fail("open " + path);
        return ni;
    }

    // Creates a file or folder and returns it open; the parent is closed
    // first, because a parent left open while the child is written loses
    // its new index entry.
    ntfs_inode* Create(const std::string& path, mode_t type)
    {
        std::string parent, name;
        Split(path, parent, name);
        ntfs_inode* dir = Open(parent);
        ntfschar* uname = nullptr;
        const int ulen = ntfs_mbstoucs(name.c_str(), &uname);
        if (ulen < 0)
            Fail("name " + name);
        ntfs_inode* ni = ntfs_create(dir, 0, uname, static_cast<u8>(ulen), type);
        std::free(uname);
        if (!ni)
            Fail("create " + path);
        if (ntfs_inode_close(dir) != 0)
            Fail("close " + parent);
        Entry entry;
        entry.directory = type == S_IFDIR;
        entry.path = path;
        entry.record = ni->mft_no;
        live_[path] = entries_.size();
        entries_.push_back(entry);
        return ni;
    }

    static void Write(ntfs_inode* ni, const ntfschar* stream, int streamLength, const std::vector<char>& bytes,
                      long long at)
    {
        ntfs_attr* na = ntfs_attr_open(ni, AT_DATA, const_cast<ntfschar*>(stream), static_cast<u32>(streamLength));
        if (!na)
            Fail("open data");
        if (!bytes.empty() && ntfs_attr_pwrite(na, at, static_cast<s64>(bytes.size()), bytes.data()) !=
                                  static_cast<s64>(bytes.size()))
            Fail("write");
        // A compressed attribute keeps its last unit until it is closed this way.
        if ((na->data_flags & ATTR_COMPRESSION_MASK) != 0 && ntfs_attr_pclose(na) != 0)
            Fail("flush compressed data");
        ntfs_attr_close(na);
    }

    static std::vector<char> ReadSource(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read " + path);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The clusters of a file's unnamed data, before it is deleted.
    static std::vector<std::pair<long long, long long>> Clusters(ntfs_inode* ni)
    {
        std::vector<std::pair<long long, long long>> runs;
        ntfs_attr* na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
        if (!na)
            return runs;
        if (NAttrNonResident(na) && ntfs_attr_map_whole_runlist(na) == 0)
            for (const runlist_element* rl = na->rl; rl && rl->length != 0; ++rl)
                if (rl->lcn >= 0)
                    runs.emplace_back(rl->lcn, rl->length);
        ntfs_attr_close(na);
        return runs;
    }

    bool ClusterInUse(long long lcn)
    {
        unsigned char byte = 0;
        if (ntfs_attr_pread(vol_->lcnbmp_na, lcn / 8, 1, &byte) != 1)
            Fail("read the cluster bitmap");
        return (byte >> (lcn % 8) & 1) != 0;
    }

    void Assess()
    {
        for (Entry& e : entries_)
            for (const auto& [lcn, count] : e.clusters)
                for (long long c = lcn; c < lcn + count && !e.poor; ++c)
                    e.poor = ClusterInUse(c);
    }

    Entry& Live(const std::string& path)
    {
        const auto it = live_.find(path);
        if (it == live_.end())
            throw std::runtime_error("no live entry " + path);
        return entries_[it->second];
    }

    void Put(const std::string& path, const std::vector<char>& bytes)
    {
        ntfs_inode* ni = Create(path, S_IFREG);
        Write(ni, AT_UNNAMED, 0, bytes, 0);
        entries_.back().size = bytes.size();
        if (ntfs_inode_close(ni) != 0)
            Fail("close " + path);
    }

    void Delete(const std::string& path)
    {
        std::string parent, name;
        Split(path, parent, name);
        Entry& entry = Live(path);
        ntfs_inode* ni = Open(path);
        if (!entry.directory)
            entry.clusters = Clusters(ni);
        ntfs_inode* dir = Open(parent);
        ntfschar* uname = nullptr;
        const int ulen = ntfs_mbstoucs(name.c_str(), &uname);
        if (ulen < 0)
            Fail("name " + name);
        // ntfs_delete closes both inodes, whatever happens.
        const int rc = ntfs_delete(vol_, path.c_str(), ni, dir, uname, static_cast<u8>(ulen));
        std::free(uname);
        if (rc != 0)
            Fail("delete " + path);
        entry.deleted = true;
        live_.erase(path);
    }

    void Interleave(std::size_t chunk, const std::string& p1, const std::string& s1, const std::string& p2,
                    const std::string& s2)
    {
        const std::vector<char> b1 = ReadSource(s1), b2 = ReadSource(s2);
        ntfs_inode* n1 = Create(p1, S_IFREG);
        const std::size_t e1 = entries_.size() - 1;
        ntfs_inode* n2 = Create(p2, S_IFREG);
        const std::size_t e2 = entries_.size() - 1;
        for (std::size_t at = 0; at < b1.size() || at < b2.size(); at += chunk) {
            for (auto [ni, b] : {std::pair{n1, &b1}, std::pair{n2, &b2}}) {
                if (at >= b->size())
                    continue;
                const std::size_t n = std::min(chunk, b->size() - at);
                Write(ni, AT_UNNAMED, 0, std::vector<char>(b->begin() + static_cast<long>(at),
                                                           b->begin() + static_cast<long>(at + n)),
                      static_cast<long long>(at));
            }
        }
        entries_[e1].size = b1.size();
        entries_[e2].size = b2.size();
        if (ntfs_inode_close(n1) != 0 || ntfs_inode_close(n2) != 0)
            Fail("close");
    }

    static std::string BulkName(const std::string& dir, int folder, int file)
    {
        char name[64];
        if (file < 0)
            std::snprintf(name, sizeof name, "/d%04d", folder);
        else
            std::snprintf(name, sizeof name, "/d%04d/f%05d.dat", folder, file);
        return (dir == "/" ? "" : dir) + name;
    }

    void Bulk(const std::string& dir, int folders, int files, std::size_t size)
    {
        const std::vector<char> bytes(size, 'k');
        for (int d = 0; d < folders; ++d) {
            if (ntfs_inode_close(Create(BulkName(dir, d, -1), S_IFDIR)) != 0)
                Fail("close folder");
            for (int f = 0; f < files; ++f)
                Put(BulkName(dir, d, f), bytes);
        }
    }

    void BulkDelete(const std::string& dir, int folders, int files, int every)
    {
        for (int n = 0, d = 0; d < folders; ++d)
            for (int f = 0; f < files; ++f)
                if (++n % every == 0)
                    Delete(BulkName(dir, d, f));
    }

    std::string image_;
    ntfs_volume* vol_ = nullptr;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> live_;  // path -> its entry
};

void Generator::Run(const std::vector<std::string>& f)
{
    auto need = [&](std::size_t n) {
        if (f.size() != n)
            throw std::runtime_error("wrong field count for " + f[0]);
    };
    const std::string& op = f[0];
    if (op == "mkdir") {
        need(2);
        if (ntfs_inode_close(Create(f[1], S_IFDIR)) != 0)
            Fail("close " + f[1]);
    } else if (op == "put") {
        need(3);
        Put(f[1], ReadSource(f[2]));
    } else if (op == "dosname") {
        need(3);
        std::string parent, name;
        Split(f[1], parent, name);
        ntfs_inode* ni = Open(f[1]);
        ntfs_inode* dir = Open(parent);
        // Closes both inodes on success.
        if (ntfs_set_ntfs_dos_name(ni, dir, f[2].c_str(), f[2].size(), 0) != 0)
            Fail("dos name " + f[1]);
    } else if (op == "sparse") {
        need(4);
        const std::vector<char> bytes = ReadSource(f[3]);
        const long long offset = std::stoll(f[2]);
        ntfs_inode* ni = Create(f[1], S_IFREG);
        Write(ni, AT_UNNAMED, 0, bytes, offset);
        entries_.back().size = static_cast<unsigned long long>(offset) + bytes.size();
        if (ntfs_inode_close(ni) != 0)
            Fail("close " + f[1]);
    } else if (op == "append") {
        need(3);
        Entry& entry = Live(f[1]);
        const std::vector<char> bytes = ReadSource(f[2]);
        ntfs_inode* ni = Open(f[1]);
        Write(ni, AT_UNNAMED, 0, bytes, static_cast<long long>(entry.size));
        entry.size += bytes.size();
        if (ntfs_inode_close(ni) != 0)
            Fail("close " + f[1]);
    } else if (op == "stream") {
        need(4);
        ntfs_inode* ni = Open(f[1]);
        ntfschar* uname = nullptr;
        const int ulen = ntfs_mbstoucs(f[2].c_str(), &uname);
        if (ulen < 0 || ntfs_attr_add(ni, AT_DATA, uname, static_cast<u8>(ulen), nullptr, 0) != 0)
            Fail("add stream " + f[2]);
        Write(ni, uname, ulen, ReadSource(f[3]), 0);
        std::free(uname);
        if (ntfs_inode_close(ni) != 0)
            Fail("close " + f[1]);
    } else if (op == "compress") {
        need(3);
        ntfs_inode* ni = Create(f[1], S_IFREG);
        // As for a file made in a compressed folder: the file's attribute and
        // its (still empty) data attribute's flag.
        ni->flags = static_cast<FILE_ATTR_FLAGS>(ni->flags | FILE_ATTR_COMPRESSED);
        if (ntfs_attr_set_flags(ni, AT_DATA, AT_UNNAMED, 0, ATTR_IS_COMPRESSED, ATTR_COMPRESSION_MASK) != 0)
            Fail("compress " + f[1]);
        const std::vector<char> bytes = ReadSource(f[2]);
        Write(ni, AT_UNNAMED, 0, bytes, 0);
        entries_.back().size = bytes.size();
        if (ntfs_inode_close(ni) != 0)
            Fail("close " + f[1]);
    } else if (op == "write") {
        need(4);
        Entry& entry = Live(f[1]);
        const std::vector<char> bytes = ReadSource(f[3]);
        const unsigned long long at = std::stoull(f[2]);
        ntfs_inode* ni = Open(f[1]);
        Write(ni, AT_UNNAMED, 0, bytes, static_cast<long long>(at));
        entry.size = std::max<unsigned long long>(entry.size, at + bytes.size());
        if (ntfs_inode_close(ni) != 0)
            Fail("close " + f[1]);
    } else if (op == "scatter") {
        need(4);
        const std::vector<char> bytes = ReadSource(f[2]);
        const std::size_t chunk = std::stoul(f[3]);
        if (chunk == 0)
            throw std::runtime_error("scatter needs a CHUNK above 0");
        ntfs_inode* ni = Create(f[1], S_IFREG);
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            const std::size_t n = std::min(chunk, bytes.size() - at);
            Write(ni, AT_UNNAMED, 0,
                  std::vector<char>(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + n)),
                  static_cast<long long>(2 * at));
            entries_.back().size = 2 * at + n;
        }
        if (ntfs_inode_close(ni) != 0)
            Fail("close " + f[1]);
    } else if (op == "encrypt") {
        need(2);
        ntfs_inode* ni = Open(f[1]);
        ni->flags = static_cast<FILE_ATTR_FLAGS>(ni->flags | FILE_ATTR_ENCRYPTED);
        if (ntfs_attr_set_flags(ni, AT_DATA, AT_UNNAMED, 0, ATTR_IS_ENCRYPTED, ATTR_IS_ENCRYPTED) != 0)
            Fail("encrypt " + f[1]);
        NInoFileNameSetDirty(ni);
        if (ntfs_inode_close(ni) != 0)
            Fail("close " + f[1]);
    } else if (op == "interleave") {
        need(6);
        Interleave(std::stoul(f[1]), f[2], f[3], f[4], f[5]);
    } else if (op == "delete") {
        need(2);
        Delete(f[1]);
    } else if (op == "remount") {
        need(1);
        Finish();
        Mount();
    } else if (op == "bulk") {
        need(5);
        Bulk(f[1], std::stoi(f[2]), std::stoi(f[3]), std::stoul(f[4]));
    } else if (op == "bulkdelete") {
        need(5);
        if (std::stoi(f[4]) <= 0)
            throw std::runtime_error("bulkdelete needs EVERY above 0");
        BulkDelete(f[1], std::stoi(f[2]), std::stoi(f[3]), std::stoi(f[4]));
    } else {
        throw std::runtime_error("unknown command " + op);
    }
}

void Generator::WriteManifest(const std::string& path) const
{
    std::ofstream out(path, std::ios::trunc);
    for (const Entry& e : entries_)
        out << (e.deleted ? "deleted" : "live") << '\t' << (e.directory ? "dir" : "file") << '\t' << e.path << '\t'
            << e.size << '\t' << e.record << '\t'
            << (e.deleted && !e.directory ? (e.poor ? "poor" : "good") : "-") << '\n';
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: ntfsgen IMAGE SCRIPT MANIFEST\n");
        return 2;
    }
    // Without the locale, names outside ASCII are refused and index
    // entries can go missing.
    std::setlocale(LC_ALL, "");
    ntfs_set_locale();
    try {
        std::ifstream script(argv[2]);
        if (!script)
            throw std::runtime_error(std::string("cannot read ") + argv[2]);
        Generator gen(argv[1]);
        std::string line;
        int number = 0;
        while (std::getline(script, line)) {
            ++number;
            if (line.empty() || line[0] == '#')
                continue;
            std::vector<std::string> fields;
            std::istringstream in(line);
            for (std::string field; std::getline(in, field, '\t');)
                fields.push_back(field);
            try {
                gen.Run(fields);
            } catch (const std::exception& e) {
                throw std::runtime_error("line " + std::to_string(number) + ": " + e.what());
            }
        }
        gen.Finish();
        gen.WriteManifest(argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ntfsgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
