// Writes registry values through the file-backed store, for the tests that
// run several writers at once or stop one mid-write.
//
//   regwriter FOLDER KEY COUNT
//       writes the dwords v0 = 0 ... v<COUNT-1> = COUNT-1 into KEY, one
//       write (one rewrite of the hive) each; exit 0 when all succeeded.
//   regwriter --die-before-rename FOLDER KEY NAME TEXT
//       writes one string but dies (exit 3) when its temporary file is
//       ready and the rename is next.
#include "platform/Registry.h"
#include "platform/RegistryHooks.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    using namespace platform;
    if (argc == 6 && std::string(argv[1]) == "--die-before-rename") {
        SetRegistryFolder(argv[2]);
        SetHiveReplaceHook([](const std::string&) -> bool { ::_exit(3); });
        const auto key = OpenRegistryKey(RegRoot::CurrentUser, argv[3], RegOpen::Create);
        if (!key)
            return 1;
        key->WriteString(argv[4], argv[5]);
        return 2;  // the hook did not run
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: regwriter FOLDER KEY COUNT | --die-before-rename FOLDER KEY NAME TEXT\n");
        return 2;
    }
    SetRegistryFolder(argv[1]);
    const int count = std::atoi(argv[3]);
    const auto key = OpenRegistryKey(RegRoot::CurrentUser, argv[2], RegOpen::Create);
    if (!key)
        return 1;
    for (int i = 0; i < count; ++i)
        if (!key->WriteDword("v" + std::to_string(i), static_cast<std::uint32_t>(i)))
            return 1;
    return 0;
}
