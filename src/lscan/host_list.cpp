#include "lscan/host_list.hpp"

#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>

#include "lscan/arp_table.hpp"
#include "lscan/files.hpp"
#include "platform/owned.hpp"

using namespace zezarur::lscan;

extern "C" int lscanOutFileCreate(const char *lanName) {
    zezarur::AdpFile out(adpFileOpen(arpOutPath, "w+"));
    if (!out) return -1;
    zezarur::AdpFile table(adpFileOpen(arpTablePath, "r"));
    if (!table) return -1;
    arpTableCopy(table.get(), out.get(), lanName ? lanName : "");
    return 0;
}

extern "C" int lscanDhcpMod(void) { return adpCmdExec(dhcpchkCommand, nullptr, 0); }

namespace zezarur::lscan {

// Each step runs whatever the one before managed; a failed dhcpchk leaves no
// /var/dhcout, so the rename fails and the previous list stays.
void hostListUpdate(const char *lanName) {
    lscanOutFileCreate(lanName);
    adpCmdExec(nbtscanCommand, nbtOutPath, 0);
    lscanDhcpMod();
    std::rename(dhcOutPath, lscanOutPath);
}

}  // namespace zezarur::lscan
