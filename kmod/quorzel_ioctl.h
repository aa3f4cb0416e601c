/* The requests of the quorzel character device and the record they take,
 * shared by the module and the programs that drive it. */
#ifndef QUORZEL_IOCTL_H
#define QUORZEL_IOCTL_H

/* Plain request numbers, not _IOWR-made ones: the flash utility passes
 * exactly these values, so their bits carry no size or direction. */
#define QUORZ_ALLOC 0x4160
#define QUORZ_FREE 0x4161

/* The one buffer size the device hands out: what the BIOS's flash service
 * moves per request. */
#define QUORZ_BUFFER_SIZE 1024

/* Three machine words: 8 bytes each for a 64-bit caller, 4 bytes each for a
 * 32-bit one (the module converts the latter in its compat handler). */
struct quorz_buffer {
    unsigned long size;     /* in: bytes wanted, QUORZ_BUFFER_SIZE */
    unsigned long unused;   /* neither read nor written by the module */
    unsigned long physical; /* out (QUORZ_ALLOC): the buffer's physical address */
};

#endif
