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
