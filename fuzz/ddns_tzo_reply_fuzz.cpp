// TZO replies as the daemon receives them (at most 399 bytes, NUL-terminated,
// in a buffer of exactly that size): the server text lies inside the reply
// after its last comma; the result code is -1 or what follows the first ']'.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ddns/tzo_reply.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 399) size = 399;
    auto *reply = static_cast<char *>(std::malloc(size + 1));
    if (size) std::memcpy(reply, data, size);
    reply[size] = '\0';

    const char *server = zezarur::ddns::tzoServerOf(reply);
    const char *comma = std::strchr(reply, ',');
    if (!server != !comma) std::abort();
    if (server && (server <= reply || server > reply + size || server[-1] != ',' ||
                   std::strchr(server, ',')))
        std::abort();
    int code = zezarur::ddns::tzoResultCode(reply);
    if (code != -1 && !std::strchr(reply, ']')) std::abort();
    std::free(reply);
    return 0;
}
