/* zezarur: the router's applets and the building blocks they share.
 * Every name declared here is exported by libzezarur.so; nothing else is. */
#ifndef ZEZARUR_H
#define ZEZARUR_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZEZARUR_API __attribute__((visibility("default")))

/* ---- configuration flash store: SFFS block store, sffs, configuration dump ---- */

/* The descriptor of the opened flash device ("/dev/obxcfgC"); -1 when closed. */
ZEZARUR_API extern int flash;
/* State names by index: "In Use", "Free", "Erased??", "Not SFFS". */
ZEZARUR_API extern const char *sffsBlockState[4];

/* Byte access at absolute flash offsets; the header calls check (read) or
 * stamp (write) the magic 00 2B 6D E4 in buf[0..3]. */
ZEZARUR_API int sffsMetaBytesRead(unsigned char *buf, int len, unsigned int offset);
ZEZARUR_API int sffsMetaBytesWrite(unsigned char *buf, int len, unsigned int offset);
ZEZARUR_API int sffsDataBytesRead(unsigned char *buf, int len, unsigned int offset);
ZEZARUR_API int sffsDataBytesWrite(const unsigned char *buf, int len, unsigned int offset);

ZEZARUR_API int sffsBlockUse(unsigned int block);
ZEZARUR_API int sffsBlockFree(unsigned int block);
ZEZARUR_API int sffsFreeBlockFind(void);
ZEZARUR_API int sffsUsedBlockFind(void);
ZEZARUR_API int sffsEraseBlock(unsigned int block, int size);
ZEZARUR_API int sffsStatus(void);

ZEZARUR_API int sffsFileWrite(unsigned int block, int fd);
ZEZARUR_API int sffsFileRead(unsigned int block, int fd);
ZEZARUR_API int sffsWrite(int fd);
ZEZARUR_API int sffsRead(int fd);
ZEZARUR_API int sffsMain(int argc, char **argv);

/* The descriptor of "/dev/kdump"; kdumpd opens the device only while it is negative. */
ZEZARUR_API extern int dh;
ZEZARUR_API int zConfigWrite(void);
ZEZARUR_API int kdumpdMain(int argc, char **argv);

/* ---- ISP connection-type detection: raw link access, PPPoE, PPTP and DHCP probes ---- */


/* ---- LAN scan daemon ---- */


/* ---- dynamic DNS client ---- */

/* A return code of the DynDNS member update protocol: 24 bytes, the code in
 * the platform's byte order, then the NUL-padded text. */
struct dynDnsStatusCode {
    int32_t code;
    char text[20];
};
/* "good" ... "good 127.0.0.1"; the fourteenth row, code 11 "end", closes it. */
ZEZARUR_API extern const struct dynDnsStatusCode dynDnsStatusCodes[14];
/* The daemon: reads /var/ddnsclient.conf once, then every 10 s registers each
 * configured host name whose address changed or whose refresh ran out.  A
 * first argument beginning with 'b' detaches it.  0 when it stops. */
ZEZARUR_API int ddnsMain(int argc, char **argv);

/* ---- switch management ---- */

/* One row of the bcm command table: the words verb and object select the
 * command id (1-19). */
struct bcmCmd {
    int id;
    const char *verb;
    const char *object;
};
ZEZARUR_API extern const struct bcmCmd cmds[19];
ZEZARUR_API int bcmMain(int argc, char **argv);

/* ---- encoding and digests: Base64, MD5, HMAC-MD5, CRAM-MD5 ---- */

/* Base64 (standard alphabet, '=' padding, a line feed after every 76
 * characters).  The codec keeps its latest result and frees it at its next
 * call; base64_detach hands the kept result to the caller, who then frees it.
 * length, when not null, gives the input count and receives the result's. */
ZEZARUR_API char *base64_encode(const char *data, int *length);
/* text must hold a NUL or '=' within its length: only those end the scan. */
ZEZARUR_API char *base64_decode(const char *text, int *length);
ZEZARUR_API char *base64_detach(int *length);

/* MD5 (RFC 1321); the context belongs to the caller. */
typedef struct MD5Context {
    uint32_t state[4];        /* chaining words A, B, C, D */
    uint32_t count[2];        /* message length in bits mod 2^64, low word first */
    unsigned char buffer[64]; /* input not yet transformed */
} MD5Context;
ZEZARUR_API void MD5Init(MD5Context *context);
ZEZARUR_API void MD5Update(MD5Context *context, const unsigned char *input, uint32_t inputLen);
ZEZARUR_API void MD5Final(unsigned char digest[16], MD5Context *context);
/* HMAC-MD5 (RFC 2104): note the text comes before the key. */
ZEZARUR_API void hmac_md5(const unsigned char *text, int text_len, const unsigned char *key,
                          int key_len, unsigned char digest[16]);
/* The CRAM-MD5 response digest (RFC 2195) as 32 lowercase hex digits in
 * *response; when *response is null a 33-byte buffer is allocated for it
 * (the caller frees it).  0, or -1 when that allocation fails. */
ZEZARUR_API int crammd5digest(const char *secret, const char *challengeText, char **response);

/* ---- mail alerts: SMTP session, CRAM-MD5 and LOGIN ---- */


/* ---- device utilities: LED toggle, factory-reset watcher ---- */

ZEZARUR_API extern int led_driver_handle;
ZEZARUR_API int ledTogMain(int argc, char **argv);

ZEZARUR_API extern int fac_driver_handle;
ZEZARUR_API extern int fac_custom_driver_handle;
ZEZARUR_API int fResetMain(int argc, char **argv);

#ifdef __cplusplus
}
#endif

#endif
