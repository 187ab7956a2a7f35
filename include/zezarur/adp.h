/* The platform adaptation interface: how applets reach files, devices,
 * interfaces and the shell.  Each call keeps the contract of the system or
 * C-library call it is named after. */
#ifndef ZEZARUR_ADP_H
#define ZEZARUR_ADP_H

#include <stdio.h>
#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ADP_API __attribute__((visibility("default")))

/* What ifDevGet fills for a numbered logical interface: 52 bytes,
 * addresses in network byte order, the rest native. */
struct ifDevInfo {
    unsigned char reserved0[4];
    unsigned int addr;        /* offset 4: IPv4 address, 0 = none */
    unsigned char reserved8[4];
    unsigned int netmask;     /* offset 12: 0 = none */
    unsigned char reserved16[4];
    unsigned int flags;       /* offset 20: bit 0 = interface up */
    unsigned int ready;       /* offset 24: 1 = up and addressed */
    unsigned char reserved28[14];
    char name[10];            /* offset 42: NUL-terminated */
};

ADP_API int adpOpen(const char *path, int flags, int mode);
ADP_API int adpRead(int handle, void *buffer, int count);
ADP_API int adpWrite(int handle, const void *buffer, int count);
ADP_API int adpLseek(int handle, int offset, int whence);
ADP_API int adpIoctl(int handle, unsigned long request, void *record);
ADP_API int adpClose(int handle);

ADP_API FILE *adpFileOpen(const char *path, const char *mode);
ADP_API size_t adpFileRead(void *buffer, size_t size, size_t count, FILE *stream);
ADP_API char *adpFileGets(char *buffer, int size, FILE *stream);
ADP_API int adpFileEOF(FILE *stream);
ADP_API int adpFilePrintf(FILE *stream, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
ADP_API int adpFileClose(FILE *stream);

/* Runs `command` with /bin/sh and waits for it.  A non-null outputFile
 * receives its standard output.  0 when the command ran and exited with
 * status 0; -1 when it could not be run or did not succeed. */
ADP_API int adpCmdExec(const char *command, const char *outputFile, int flags);

ADP_API int adp_gettimeofday(struct timeval *time, void *zone);
ADP_API int adp_inet_aton(const char *text, void *address);
ADP_API int adp_strncasecmp(const char *a, const char *b, size_t count);

/* Fills `info` (a struct ifDevInfo) for the firmware's interface number
 * `interface`; -1 for an unknown number or a missing interface. */
ADP_API int ifDevGet(void *info, int unused, int interface);

/* The Oray dynamic-DNS client.  Addresses are IPv4 in network order; paths
 * name the files the caller keeps for the registration. */
/* Writes text into the file at path. */
ADP_API int orayDdnsUpdate(const char *path, const char *text);
/* Logs in at the web service host; a heap handle (the caller frees it), or 0.
 * On success *type holds the account type: 0 standard, 1 professional. */
ADP_API void *oraywebsvcMain(const char *username, const char *passwd, int *type,
                             unsigned int address, const char *host, const char *statusPath);
/* Registers address for the account; -1 on failure.  For standard and
 * professional accounts it lists the account's domains in domainsPath. */
ADP_API int updatednsipMain(void *handle, int port, const char *username, const char *passwd,
                            unsigned int address, int index, const char *statusPath,
                            const char *domainsPath);
/* Starts the keep-alive of a registration: -1 failed, 0 nothing started,
 * anything else running.  It never uses handle after it returns. */
ADP_API int udpTimer(void *handle, int type, unsigned int address, int index,
                     const char *statusPath);

#ifdef __cplusplus
}
#endif

#endif
