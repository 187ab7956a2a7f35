#include "smtp/options.hpp"

#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "smtp/session.hpp"

namespace zezarur::smtp {
namespace {

enum class Kind { value, subject, credential, login, tls };

struct OptionRow {
    char letter;
    Kind kind;
    std::size_t offset;  // value: its buffer in SmtpOptions
    std::size_t size;
    char **credential;  // credential: the global that keeps a copy
    int mode;           // login and tls: the mode it chooses
};

constexpr OptionRow optionRows[] = {
    {'i', Kind::value, offsetof(SmtpOptions, server), sizeof SmtpOptions::server, nullptr, 0},
    {'t', Kind::value, offsetof(SmtpOptions, to), sizeof SmtpOptions::to, nullptr, 0},
    {'s', Kind::subject, offsetof(SmtpOptions, subject), sizeof SmtpOptions::subject, nullptr, 0},
    {'f', Kind::value, offsetof(SmtpOptions, from), sizeof SmtpOptions::from, nullptr, 0},
    {'C', Kind::value, offsetof(SmtpOptions, port), sizeof SmtpOptions::port, nullptr, 0},
    {'u', Kind::credential, 0, 0, &Username, 0},
    {'P', Kind::credential, 0, 0, &Password, 0},
    {'c', Kind::login, 0, 0, nullptr, smtpCramMd5},
    {'p', Kind::login, 0, 0, nullptr, smtpLogin},
    {'n', Kind::login, 0, 0, nullptr, smtpNoLogin},
#if ZEZARUR_TLS
    {'S', Kind::tls, 0, 0, nullptr, smtpViaStartTls},
    {'T', Kind::tls, 0, 0, nullptr, smtpTlsFirst},
#endif
};

const OptionRow *rowOf(char letter) {
    for (const OptionRow &row : optionRows)
        if (row.letter == letter) return &row;
    return nullptr;
}

// Copies value into a buffer of size bytes; refused, with a message, when
// it does not fit.
bool copyValue(char *buffer, std::size_t size, const char *value, const char *what) {
    if (!smtpFits(value, size - 1, what)) return false;
    std::memcpy(buffer, value, std::strlen(value) + 1);
    return true;
}

// One option and, for those that take it, its value; false when refused.
bool take(const OptionRow &row, const char *value, SmtpOptions &options) {
    if (row.kind == Kind::tls) {
        // STARTTLS and TLS from the first byte exclude each other, as the logins do.
        if (options.tls != smtpClear && options.tls != row.mode) std::exit(1);
        options.tls = row.mode;
        return true;
    }
    if (row.kind == Kind::login) {
        // CRAM-MD5 and LOGIN exclude each other: a usage error.
        if ((row.mode == smtpCramMd5 && options.mode == smtpLogin) ||
            (row.mode == smtpLogin && options.mode == smtpCramMd5))
            std::exit(1);
        options.mode = row.mode;
        return true;
    }
    if (row.kind == Kind::subject && (!value || !*value)) return false;
    if (!value) {
        smtpSay("option %c needs a value", row.letter);
        return false;
    }
    if (row.kind == Kind::credential) {
        std::free(*row.credential);
        *row.credential = strdup(value);
        return *row.credential != nullptr;
    }
    char what[] = "the value of ?";
    what[sizeof what - 2] = row.letter;
    return copyValue(reinterpret_cast<char *>(&options) + row.offset, row.size, value, what);
}

}  // namespace

void printUsage(const char *text) {
    adpFilePrintf(stderr, "%s", text);
    std::fflush(stderr);
}

int smtpOptionsRead(int argc, char **argv, SmtpOptions &options, const char *unknownOptionUsage) {
    options.mode = smtpLoginUnset;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strlen(arg) != 1)
            return copyValue(options.file, sizeof options.file, arg, "the file name") ? 0 : -1;
        const OptionRow *row = rowOf(arg[0]);
        if (!row) {
            printUsage(unknownOptionUsage);
            continue;
        }
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!take(*row, value, options)) return -1;
        if (row->kind == Kind::tls) continue;
        if (row->kind != Kind::login) ++i;
        ++options.count;
    }
    return 0;
}

}  // namespace zezarur::smtp
