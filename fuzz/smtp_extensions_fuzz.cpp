// The EHLO reply's extension scan on any bytes, cut anywhere into two
// reads: it finds STARTTLS exactly when some line, read whole, is
// "250-STARTTLS" or "250 STARTTLS" (any case) ending there or going on with
// a blank or CR.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "smtp/extensions.hpp"

namespace {

bool offered(std::string_view line) {
    constexpr std::string_view keyword = "STARTTLS";
    if (line.size() < 4 + keyword.size() || line.substr(0, 3) != "250" || (line[3] != '-' && line[3] != ' '))
        return false;
    for (std::size_t i = 0; i < keyword.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(line[4 + i])) != keyword[i]) return false;
    return line.size() == 4 + keyword.size() || line[4 + keyword.size()] == ' ' ||
           line[4 + keyword.size()] == '\r';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::size_t cut = data[0] % (bytes.size() + 1);
    zezarur::smtp::ExtensionScan scan("STARTTLS");
    scan.feed(bytes.data(), cut);
    scan.feed(bytes.data() + cut, bytes.size() - cut);
    bool expected = false;
    for (std::string_view rest = bytes; !rest.empty() && !expected;) {
        const std::size_t end = rest.find('\n');
        // A line not yet ended counts once what follows the keyword is seen.
        const std::string_view line = rest.substr(0, end);
        expected = offered(end == std::string_view::npos && line.size() == 12 ? std::string_view() : line);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    if (scan.found() != expected) std::abort();
    return 0;
}
