#include "tests/search/TreeDump.h"

#include "salvage/search/FAT32Search.h"
#include "salvage/search/ModelSink.h"

#include <sstream>

namespace searchtest {

using namespace salvage;

std::string NodePath(const TTreeNode& node)
{
    std::string path = node.Text();
    for (const TTreeNode* p = node.Parent(); p; p = p->Parent())
        path = p->Text() + "/" + path;
    return path;
}

std::string DumpTree(const TResultsTree& tree, DumpOptions options)
{
    std::ostringstream out;
    for (const TTreeNode* n = tree.First(); n; n = tree.NextDepthFirst(*n)) {
        const TDirNode& d = n->Data();
        const std::string path = NodePath(*n);
        out << path << " [" << n->ImageIndex() << "]";
        if (options.records)
            out << " ref=" << d.DirRef << " parent=" << d.ParentRef << " name=" << d.Name << " del=" << d.Deleted
                << " has=" << d.HasDeleted << " m=" << d.Modified << " c=" << d.Created << " x=" << n->Expanded();
        out << "\n";
        if (!options.files)
            continue;
        for (const TFileInfo& f : d.Files) {
            out << path << "/" << f.Name << (f.Deleted ? " (deleted)" : "");
            if (options.records)
                out << " ref=" << f.FileRef << " parent=" << f.ParentRef << " size=" << f.Size
                    << " cond=" << int(f.Condition) << " m=" << f.Modified << " c=" << f.Created;
            out << "\n";
        }
    }
    return out.str();
}

SearchRun RunFatSearch(const std::string& imagePath, TFoundFileModel& model, bool estimate)
{
    platform::OpenError error;
    TFAT32 fat(platform::OpenVolumeReadOnly(imagePath, error));
    SearchRun run;
    TModelSink sink(model, [&](int p) { run.progress.push_back(p); }, [&] { run.done = true; });
    TFAT32Search search(fat, sink, estimate);
    search.Start();
    search.Wait();
    return run;
}

} // namespace searchtest
