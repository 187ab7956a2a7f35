/* zezarur: the router's applets and the building blocks they share.
 * Every name declared here is exported by libzezarur.so; nothing else is. */
#ifndef ZEZARUR_H
#define ZEZARUR_H

#include <stddef.h>

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
