/* zezarur: the router's applets and the building blocks they share.
 * Every name declared here is exported by libzezarur.so; nothing else is. */
#ifndef ZEZARUR_H
#define ZEZARUR_H

#include <stddef.h>
#include <stdint.h>
#include <netpacket/packet.h>
/* Some C libraries (musl, uClibc) still declare POSIX's withdrawn
 * void encrypt(char *, int) in <unistd.h>, which this header's encrypt
 * would clash with: that declaration is read here, once, under another name.
 * Include this header before <unistd.h>. */
#define encrypt zezarur_libc_encrypt
#include <unistd.h>
#undef encrypt

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

/* The raw link to one interface: a packet socket of every protocol, bound
 * to the interface, and its link address, which linkSend leaves holding the
 * EtherType and destination of the last frame sent.  It lives until the
 * process ends. */
typedef struct LinkHandle {
    int fd;
    struct sockaddr_ll address;
} LinkHandle;

/* Detection flags in ispFound; a check only ever adds its bit. */
#define ISP_PPPOE 0x01u
#define ISP_BIGPOND 0x02u
#define ISP_DHCP 0x04u
#define ISP_DHCPSPOOF 0x08u
#define ISP_PPTP 0x10u

ZEZARUR_API extern unsigned char mac[6];            /* the probed interface's address */
ZEZARUR_API extern const unsigned char bcastMac[6]; /* ff:ff:ff:ff:ff:ff */
ZEZARUR_API extern unsigned char inData[1514];      /* the last frame received */
ZEZARUR_API extern unsigned char outData[1514];     /* the last probe built */
ZEZARUR_API extern uint32_t ispFound;
ZEZARUR_API extern unsigned char spoofedMac[6];     /* 00:ff:d9:74:47:00 */
ZEZARUR_API extern uint32_t dhcpFound;              /* 1: dhcpCheck took the last frame */

/* Results: 0 done (sent, read, matched), 1 not. */
ZEZARUR_API LinkHandle *linkInit(const char *ifName);
ZEZARUR_API int linkSend(LinkHandle *link, const unsigned char *frame, unsigned int len);
ZEZARUR_API int linkRecv(LinkHandle *link, unsigned char *buffer, int len);
ZEZARUR_API void ipcsum(unsigned char *ipHeader);
ZEZARUR_API void hexDump(const char *label, const unsigned char *data, int len);

ZEZARUR_API int pppoeSend(LinkHandle *link);
ZEZARUR_API int pppoeCheck(const unsigned char *frame, int len);
ZEZARUR_API int pptpSend(LinkHandle *link);
ZEZARUR_API int pptpCheck(const unsigned char *frame, int len);

ZEZARUR_API int dhcpSend(LinkHandle *link);
/* Sends the frame dhcpSend left in outData again, from spoofedMac. */
ZEZARUR_API int dhcpSpoofSend(LinkHandle *link);
ZEZARUR_API int dhcpCheck(const unsigned char *frame, int len);
ZEZARUR_API int dhcpBigPondCheck(const unsigned char *frame);
ZEZARUR_API int dhcpSpoofCheck(const unsigned char *frame);
/* The code byte of option `code` (low 8 bits) among len bytes of options, or null. */
ZEZARUR_API const unsigned char *dhcpGetOpt(const unsigned char *options, int len, int code);

/* link IFNAME: the exit status is ispFound. */
ZEZARUR_API int linkMain(int argc, char **argv);

/* ---- LAN scan daemon ---- */

/* lscand [-r refreshrate]: keeps the LAN's host list in /var/lscan_out.
 * 1 for bad usage, -1 when it cannot become a daemon; otherwise it never
 * returns. */
ZEZARUR_API int lscandMain(int argc, char **argv);
/* The two usage lines, on the error stream. */
ZEZARUR_API void lscan_usage(void);
/* Rewrites /var/arpout with "IP HW" for each complete ARP entry of the
 * interface lanName; 0, or -1 when a file failed to open. */
ZEZARUR_API int lscanOutFileCreate(const char *lanName);
/* Runs the firmware's dhcpchk; the result of adpCmdExec. */
ZEZARUR_API int lscanDhcpMod(void);

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

/* The login's credentials (u and P of smtp, which sets and frees them), and
 * the decoded CRAM-MD5 challenge: it lies in the Base64 codec's kept result,
 * so it is valid only until the codec's next call (encrypt makes one). */
ZEZARUR_API extern char *Username;
ZEZARUR_API extern char *Password;
ZEZARUR_API extern char *challenge;
/* The server's address of the latest smtp run (AF_INET, 16 bytes; the type
 * is complete with <netinet/in.h>). */
struct sockaddr_in;
ZEZARUR_API extern struct sockaddr_in serverAddress;

/* Over the open session: the envelope, the headers, the lines of file as the
 * body ("No Data Available." when it is missing or empty), the end of data
 * and QUIT.  0 when the reply to QUIT begins with 250 or 221, else -1.  A
 * sender over 43, a recipient over 87, a subject over 89 characters: -1
 * before anything is sent. */
ZEZARUR_API int sendmail(const char *file, const char *subject, const char *to,
                         const char *from);
/* AUTH CRAM-MD5 and AUTH LOGIN with Username and Password: 0 on "235", else -1. */
ZEZARUR_API int encrypt(void);
ZEZARUR_API int plain(void);
/* smtp i SERVER t TO s SUBJECT f FROM C PORT c|p|n [u USER P PASSWORD] [FILE] */
ZEZARUR_API int smtpMain(int argc, char **argv);


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
