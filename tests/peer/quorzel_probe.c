/* Drives the quorzel module's device through every request the flash
 * utility makes of it, and the refusals around them, on a real kernel.
 *
 *   quorzel_probe NODE
 *
 * Prints "ok <step>" or "FAIL <step>: <why>" for each step and exits 0 only
 * when every step passed. Built once as a 64-bit and once as a 32-bit
 * program: the latter goes through the module's compat handler, whose
 * record has 4-byte words.
 *
 * The buffer's contents cannot be checked through /dev/mem (a distribution
 * kernel refuses RAM above 1 MiB there), so the probe checks what the
 * program itself can see: the mapping is the one buffer (two mappings show
 * each other's writes), it starts zeroed, and no page is lost when a buffer
 * is freed, closed or unmapped in any order. */
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "kmod/quorzel_ioctl.h"

/* Rounds of allocation and release for the leak check; a page lost per
 * round would show as 16 MB less free memory. */
#define LEAK_ROUNDS 4096
/* Page-allocator caches and the rest of the system move free memory by a
 * few dozen pages; a leak in any one of the four ways a buffer ends (a
 * quarter of the rounds each) moves it by a thousand. */
#define LEAK_TOLERANCE_PAGES (LEAK_ROUNDS / 16)

static int failures;

static void step(int passed, const char* name, const char* why) {
    if (passed) {
        printf("ok %s\n", name);
    } else {
        printf("FAIL %s: %s\n", name, why);
        ++failures;
    }
    fflush(stdout);
}

static const char* errno_text(int error) {
    static char text[96];
    snprintf(text, sizeof text, "errno %d (%s)", error, strerror(error));
    return text;
}

/* The record with a guard word after it, so that a module writing the
 * wrong word width is caught. */
struct guarded_record {
    struct quorz_buffer record;
    unsigned long guard;
};

#define UNUSED_MARK ((unsigned long)0x5A5A5A5AUL)
#define GUARD_MARK ((unsigned long)0xC3C3C3C3UL)

static int request(int fd, unsigned long code, unsigned long size, struct guarded_record* out) {
    memset(out, 0, sizeof *out);
    out->record.size = size;
    out->record.unused = UNUSED_MARK;
    out->guard = GUARD_MARK;
    return ioctl(fd, code, &out->record) == 0 ? 0 : errno;
}

/* A request that must be refused, and with this error. */
static void expect_refusal(int fd, const char* name, unsigned long code, unsigned long size,
                           int expected) {
    struct guarded_record r;
    const int error = request(fd, code, size, &r);
    step(error == expected, name, error == 0 ? "accepted" : errno_text(error));
}

static void* map(int fd, size_t length, int flags, off_t offset) {
    return mmap(NULL, length, PROT_READ | PROT_WRITE, flags, fd, offset);
}

static void expect_map_refused(int fd, const char* name, size_t length, int flags, off_t offset) {
    void* view = map(fd, length, flags, offset);
    if (view != MAP_FAILED) {
        munmap(view, length);
        step(0, name, "mapped");
        return;
    }
    step(errno == EINVAL, name, errno_text(errno));
}

/* Allocates and checks the reported address and the record's other words. */
static int allocate(int fd, const char* name) {
    struct guarded_record r;
    const int error = request(fd, QUORZ_ALLOC, QUORZ_BUFFER_SIZE, &r);
    if (error != 0) {
        step(0, name, errno_text(error));
        return -1;
    }
    const unsigned long long physical = r.record.physical;
    char why[128];
    snprintf(why, sizeof why, "physical %#llx, size word %#lx, unused word %#lx, guard %#lx",
             physical, r.record.size, r.record.unused, r.guard);
    const int passed = physical != 0 && physical + QUORZ_BUFFER_SIZE <= 0x100000000ULL &&
                       r.record.size == QUORZ_BUFFER_SIZE && r.record.unused == UNUSED_MARK &&
                       r.guard == GUARD_MARK;
    step(passed, name, why);
    if (passed) printf("   buffer at physical %#llx\n", physical);
    return passed ? 0 : -1;
}

static int free_buffer(int fd, const char* name) {
    struct guarded_record r;
    const int error = request(fd, QUORZ_FREE, QUORZ_BUFFER_SIZE, &r);
    step(error == 0, name, errno_text(error));
    return error == 0 ? 0 : -1;
}

static void check_mapping(int fd) {
    volatile uint8_t* one = map(fd, QUORZ_BUFFER_SIZE, MAP_SHARED, 0);
    step(one != MAP_FAILED, "mmap offset 0, 1024 bytes, shared", errno_text(errno));
    if (one == MAP_FAILED) return;
    volatile uint8_t* two = map(fd, QUORZ_BUFFER_SIZE, MAP_SHARED, 0);
    step(two != MAP_FAILED, "second mapping of the same buffer", errno_text(errno));

    size_t nonzero = 0;
    for (size_t i = 0; i < QUORZ_BUFFER_SIZE; ++i) nonzero += one[i] != 0;
    step(nonzero == 0, "new buffer is zeroed", "it holds old data");

    for (size_t i = 0; i < QUORZ_BUFFER_SIZE; ++i) one[i] = (uint8_t)(i * 7 + 3);
    size_t wrong = 0;
    for (size_t i = 0; i < QUORZ_BUFFER_SIZE; ++i) wrong += one[i] != (uint8_t)(i * 7 + 3);
    step(wrong == 0, "pattern written and read back", "bytes differ");
    if (two != MAP_FAILED) {
        wrong = 0;
        for (size_t i = 0; i < QUORZ_BUFFER_SIZE; ++i) wrong += two[i] != (uint8_t)(i * 7 + 3);
        step(wrong == 0, "the other mapping shows the same bytes", "bytes differ");
        step(munmap((void*)two, QUORZ_BUFFER_SIZE) == 0, "munmap second mapping",
             errno_text(errno));
    }
    step(munmap((void*)one, QUORZ_BUFFER_SIZE) == 0, "munmap", errno_text(errno));
}

static long free_pages_now(void) {
    FILE* meminfo = fopen("/proc/meminfo", "r");
    if (meminfo == NULL) return -1;
    char line[128];
    long kb = -1;
    while (fgets(line, sizeof line, meminfo) != NULL) {
        if (sscanf(line, "MemFree: %ld kB", &kb) == 1) break;
    }
    fclose(meminfo);
    return kb < 0 ? -1 : kb / 4;
}

/* Every way a buffer ends, many times over: freed, closed while held,
 * freed while still mapped (the mapping keeps the page until munmap),
 * closed while mapped. */
static void check_no_leak(const char* node) {
    const long before = free_pages_now();
    int broken = 0;
    for (int round = 0; round < LEAK_ROUNDS && !broken; ++round) {
        const int fd = open(node, O_RDWR);
        struct guarded_record r;
        if (fd < 0 || request(fd, QUORZ_ALLOC, QUORZ_BUFFER_SIZE, &r) != 0) {
            broken = 1;
            if (fd >= 0) close(fd);
            break;
        }
        volatile uint8_t* view = NULL;
        if (round % 2 == 1) {
            view = map(fd, QUORZ_BUFFER_SIZE, MAP_SHARED, 0);
            if (view == MAP_FAILED) broken = 1;
        }
        switch (round % 4) {
            case 0: /* freed, then closed */
            case 1: /* freed while mapped, then unmapped */
                if (request(fd, QUORZ_FREE, QUORZ_BUFFER_SIZE, &r) != 0) broken = 1;
                break;
            default: /* 2: closed while held; 3: closed while held and mapped */
                break;
        }
        if (view != NULL && view != MAP_FAILED) {
            view[0] = 1; /* still ours after QUORZ_FREE: the mapping holds it */
        }
        close(fd);
        if (view != NULL && view != MAP_FAILED) munmap((void*)view, QUORZ_BUFFER_SIZE);
    }
    const long after = free_pages_now();
    char why[128];
    snprintf(why, sizeof why, "%s; free pages %ld before, %ld after %d rounds",
             broken ? "a round failed" : "pages lost", before, after, LEAK_ROUNDS);
    step(!broken && before >= 0 && after >= 0 && before - after < LEAK_TOLERANCE_PAGES,
         "no page lost over free, close and unmap in every order", why);
    printf("   free pages %ld before, %ld after\n", before, after);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s NODE\n", argv[0]);
        return 2;
    }
    const char* node = argv[1];
    printf("quorzel probe, %zu-bit record words, node %s\n", sizeof(unsigned long) * 8, node);

    int fd = open(node, O_RDWR);
    step(fd >= 0, "open", errno_text(errno));
    if (fd < 0) return 1;

    expect_map_refused(fd, "mmap refused without a buffer", QUORZ_BUFFER_SIZE, MAP_SHARED, 0);
    expect_refusal(fd, "QUORZ_FREE refused without a buffer", QUORZ_FREE, QUORZ_BUFFER_SIZE,
                   EINVAL);
    expect_refusal(fd, "QUORZ_ALLOC of 4096 bytes refused", QUORZ_ALLOC, 4096, EINVAL);
    expect_refusal(fd, "QUORZ_ALLOC of 0 bytes refused", QUORZ_ALLOC, 0, EINVAL);
    expect_refusal(fd, "unknown request refused", QUORZ_FREE + 1, QUORZ_BUFFER_SIZE, ENOTTY);

    if (allocate(fd, "QUORZ_ALLOC 1024") == 0) {
        expect_refusal(fd, "second QUORZ_ALLOC refused while one is held", QUORZ_ALLOC,
                       QUORZ_BUFFER_SIZE, EBUSY);
        const long page = sysconf(_SC_PAGESIZE);
        expect_map_refused(fd, "mmap at a non-zero offset refused", QUORZ_BUFFER_SIZE, MAP_SHARED,
                           (off_t)page);
        expect_map_refused(fd, "mmap longer than a page refused", (size_t)page * 2, MAP_SHARED, 0);
        expect_map_refused(fd, "private writable mmap refused", QUORZ_BUFFER_SIZE, MAP_PRIVATE, 0);
        check_mapping(fd);
        expect_refusal(fd, "QUORZ_FREE of another size refused", QUORZ_FREE, 4096, EINVAL);
        if (free_buffer(fd, "QUORZ_FREE") == 0) {
            expect_refusal(fd, "second QUORZ_FREE refused", QUORZ_FREE, QUORZ_BUFFER_SIZE, EINVAL);
            expect_map_refused(fd, "mmap refused after QUORZ_FREE", QUORZ_BUFFER_SIZE, MAP_SHARED,
                               0);
        }
        allocate(fd, "QUORZ_ALLOC again after QUORZ_FREE");
    }
    step(close(fd) == 0, "close without QUORZ_FREE", errno_text(errno));

    fd = open(node, O_RDWR);
    step(fd >= 0, "open again", errno_text(errno));
    if (fd >= 0) {
        if (allocate(fd, "QUORZ_ALLOC after reopening") == 0) {
            free_buffer(fd, "QUORZ_FREE after reopening");
        }
        close(fd);
    }

    check_no_leak(node);

    printf("%d step(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
