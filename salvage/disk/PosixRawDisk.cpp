#include "salvage/disk/LogicalDisk.h"

namespace salvage {

// There is no 9x family here: every volume is opened through the file interface.
bool IsWinNT()
{
    return true;
}

bool InitRawDiskAccess()
{
    return true;
}

} // namespace salvage
