// The smtp command's options: single letters, each a separate argument,
// values in fixed buffers.
#pragma once

namespace zezarur::smtp {

// Login chosen by c, p or n; unset until one of them is given.
enum : int { smtpLogin = 0, smtpCramMd5 = 1, smtpNoLogin = -1, smtpLoginUnset = 2 };

// TLS chosen by S or T; none unless one of them is given.
enum : int { smtpClear = 0, smtpViaStartTls = 1, smtpTlsFirst = 2 };

struct SmtpOptions {
    char server[100];   // i
    char to[100];       // t
    char subject[100];  // s
    char from[100];     // f
    char port[8];       // C
    char file[100];     // the first argument that is not a letter
    int mode;
    int tls;
    int count;  // options recognised, S and T not among them
};

// Fills options (zeroed by the caller) from argv[1..]; 0, or -1 when a value
// is refused.  An unknown option letter prints unknownOptionUsage and parsing
// goes on; a usage error (c and p together, S and T together) ends the
// process.
int smtpOptionsRead(int argc, char **argv, SmtpOptions &options, const char *unknownOptionUsage);
// A usage text on the error stream, flushed.
void printUsage(const char *text);

}  // namespace zezarur::smtp
