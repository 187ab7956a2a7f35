// The kernel's ARP table in text (/proc/net/arp): a header line, then one
// line per entry: IP address, hardware type, flags, hardware address, mask,
// device.  Inline, so that the unit suite and the fuzz target run this very
// code.
#pragma once

#include <zezarur/adp.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/line.hpp"

namespace zezarur::lscan {

constexpr int arpLineSize = 512;
constexpr unsigned arpComplete = 0x2;  // ATF_COM: the hardware address is known

// The six fields of one line, each bounded; widths fit what the kernel
// prints (a 32-byte hardware address, an interface name of 15).
struct ArpEntry {
    char ip[16];
    char hwType[16];
    unsigned flags;
    char hwAddress[96];
    char mask[16];
    char device[16];
};

namespace arp {

inline bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Copies the next word of *text into field; false when there is none or it
// does not fit with its NUL.
template <std::size_t N>
bool nextWord(const char *&text, char (&field)[N]) {
    while (blank(*text)) ++text;
    std::size_t n = 0;
    while (text[n] && !blank(text[n])) ++n;
    if (n == 0 || n >= N) return false;
    std::memcpy(field, text, n);
    field[n] = '\0';
    text += n;
    return true;
}

inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "0x" and 1 to 8 hexadecimal digits (the word buffer holds no more).  By
// hand: std::from_chars costs the router's library half a kilobyte.
inline bool hexFlags(const char *word, unsigned &flags) {
    if (word[0] != '0' || word[1] != 'x' || !word[2]) return false;
    flags = 0;
    for (const char *p = word + 2; *p; ++p) {
        const int digit = hexDigit(*p);
        if (digit < 0) return false;
        flags = flags << 4 | static_cast<unsigned>(digit);
    }
    return true;
}

// Reads the next line into `line`; false at the end of input.  A line longer
// than the buffer is read to its end and comes back with whole = false.
inline bool nextLine(FILE *in, char (&line)[arpLineSize], bool &whole) {
    whole = true;
    for (;;) {
        const long n = readLine(line, arpLineSize, in);
        if (n < 0) return !whole;
        if (n < arpLineSize - 1 || line[n - 1] == '\n') return true;
        whole = false;
    }
}

}  // namespace arp

// Splits a line as "%s %s 0x%x %s %s %s" reads it: six blank-separated words,
// the third "0x" and 1 to 8 hexadecimal digits; what follows the sixth is
// ignored.  False when a word is missing or malformed or wider than its field.
inline bool arpLineSplit(const char *line, ArpEntry &entry) {
    char flags[11];
    return arp::nextWord(line, entry.ip) && arp::nextWord(line, entry.hwType) &&
           arp::nextWord(line, flags) && arp::hexFlags(flags, entry.flags) &&
           arp::nextWord(line, entry.hwAddress) && arp::nextWord(line, entry.mask) &&
           arp::nextWord(line, entry.device);
}

// Drops the header line of `table`, then writes "IP HW\n" to `out` for every
// complete entry of `device`.  A line longer than the 512-byte line buffer is
// skipped whole, so no piece of it is taken for an entry.
inline void arpTableCopy(FILE *table, FILE *out, const char *device) {
    char line[arpLineSize];
    bool whole = true;
    if (!arp::nextLine(table, line, whole)) return;  // the column header
    ArpEntry entry;
    while (arp::nextLine(table, line, whole))
        if (whole && arpLineSplit(line, entry) && (entry.flags & arpComplete) &&
            std::strcmp(entry.device, device) == 0)
            adpFilePrintf(out, "%s %s\n", entry.ip, entry.hwAddress);
}

}  // namespace zezarur::lscan
