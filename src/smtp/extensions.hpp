// Whether an EHLO reply lists an extension, judged as the reply's bytes
// come, however the network cuts them.
#pragma once

#include <cstddef>

namespace zezarur::smtp {

class ExtensionScan {
   public:
    // keyword in capitals; matched in any case, as RFC 5321 2.4 asks.
    explicit ExtensionScan(const char *keyword);
    void feed(const char *bytes, std::size_t n);
    // Whether a line "250-KEYWORD" or "250 KEYWORD", alone or followed by
    // a blank and parameters, has been fed.
    bool found() const { return found_; }

   private:
    const char *keyword_;
    std::size_t length_;
    std::size_t column_ = 0;  // bytes of the current line fed, up to one past the keyword
    bool matching_ = true;    // the current line matches so far
    bool found_ = false;
};

}  // namespace zezarur::smtp
