// lscand's ARP-table reading on any text and any device name: the first byte
// gives the device name's length, the name follows, the rest is the table.
// Every line the splitter accepts reads the same through the C library's
// sscanf with the daemon's format, and the copy reads the table in bounds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lscan/arp_table.hpp"

using namespace zezarur::lscan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 1 << 16) return -1;
    const size_t nameLength = data[0] % 24 < size - 1 ? data[0] % 24 : size - 1;
    const std::string device(reinterpret_cast<const char *>(data) + 1, nameLength);
    std::string table(reinterpret_cast<const char *>(data) + 1 + nameLength, size - 1 - nameLength);
    static char ip[arpLineSize], type[arpLineSize], hw[arpLineSize], mask[arpLineSize], dev[arpLineSize];
    for (size_t start = 0, end; start < table.size(); start = end + 1) {
        end = std::min(table.find('\n', start), table.size());
        const std::string line = table.substr(start, end - start);
        ArpEntry e;
        unsigned flags = 0;
        if (line.find('\0') != std::string::npos || line.size() >= size_t(arpLineSize) ||
            !arpLineSplit(line.c_str(), e))
            continue;
        if (std::sscanf(line.c_str(), "%s %s 0x%x %s %s %s\n", ip, type, &flags, hw, mask, dev) != 6 ||
            flags != e.flags || std::strcmp(ip, e.ip) || std::strcmp(type, e.hwType) ||
            std::strcmp(hw, e.hwAddress) || std::strcmp(mask, e.mask) || std::strcmp(dev, e.device))
            std::abort();
    }
    FILE *in = fmemopen(table.data(), table.size() ? table.size() : 1, "r"), *out = std::fopen("/dev/null", "w");
    arpTableCopy(in, out, device.c_str());
    std::fclose(in);
    std::fclose(out);
    return 0;
}
