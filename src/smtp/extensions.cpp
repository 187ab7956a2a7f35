#include "smtp/extensions.hpp"

#include <cctype>
#include <cstring>

namespace zezarur::smtp {

ExtensionScan::ExtensionScan(const char *keyword) : keyword_(keyword), length_(std::strlen(keyword)) {}

void ExtensionScan::feed(const char *bytes, std::size_t n) {
    const std::size_t end = 4 + length_;  // the column just past the keyword
    for (std::size_t i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            found_ = found_ || (matching_ && column_ == end);
            column_ = 0;
            matching_ = true;
            continue;
        }
        if (column_ < 3)
            matching_ = matching_ && c == "250"[column_];
        else if (column_ == 3)
            matching_ = matching_ && (c == '-' || c == ' ');
        else if (column_ < end)
            matching_ = matching_ && std::toupper(static_cast<unsigned char>(c)) == keyword_[column_ - 4];
        else if (column_ == end)
            found_ = found_ || (matching_ && (c == ' ' || c == '\r'));
        if (column_ <= end) ++column_;
    }
}

}  // namespace zezarur::smtp
