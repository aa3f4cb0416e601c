// SPDX-License-Identifier: GPL-2.0
/*
 * quorzel: hands a program a physically contiguous 1 KB transfer buffer
 * below 4 GB, whose physical address it can give to the BIOS's flash
 * service (which runs in system management mode and knows nothing of
 * virtual memory), and maps that buffer into the program.
 *
 * The character device "quorzel" (dynamic major, minor 0; the program makes
 * its own node) takes:
 *   ioctl QUORZ_ALLOC  record of three machine words: size (in, must be
 *                      QUORZ_BUFFER_SIZE), unused, physical address (out).
 *                      EINVAL for another size, EBUSY while this open file
 *                      already holds a buffer, ENOMEM when no page below
 *                      4 GB is free, EFAULT for a bad record address.
 *   ioctl QUORZ_FREE   the same record, size QUORZ_BUFFER_SIZE: frees the
 *                      buffer. EINVAL for another size or when none is held.
 *   mmap               offset 0, at most one page, shared: maps the buffer.
 *                      EINVAL with no buffer, a non-zero offset, a longer
 *                      length or a private mapping that could be written
 *                      (its writes would go to a copy the BIOS never sees).
 *   other ioctls       ENOTTY.
 * 32-bit programs pass the record with 4-byte words (compat_ioctl).
 *
 * Each open file has its own buffer; closing the file frees a buffer still
 * held. The buffer is one zeroed page from ZONE_DMA32; the BIOS is told its
 * address and the program uses the first 1 KB. The page is mapped with
 * vm_insert_page, which takes a page reference for the mapping: freeing
 * the buffer while the program still maps it drops only the driver's
 * reference, so the page returns to the allocator when the last mapping
 * goes, never while a process can still reach it.
 *
 * No buffer can outlive the module: an open file (and any mapping, which
 * holds its file) pins the module, and release frees the file's buffer.
 */
#define pr_fmt(fmt) KBUILD_MODNAME ": " fmt

#include <linux/compat.h>
#include <linux/fs.h>
#include <linux/gfp.h>
#include <linux/io.h>
#include <linux/kernel.h>
#include <linux/mm.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/slab.h>
#include <linux/uaccess.h>
#include <linux/version.h>

#include "quorzel_ioctl.h"

#define QUORZ_DEVICE_NAME "quorzel"

/* What one open file holds. The mutex orders the requests of threads that
 * share the file; no user memory is touched while it is held, because mmap
 * takes it under the mm's lock and a fault in a user copy takes that lock
 * too. */
struct quorz_file {
    struct mutex lock;
    struct page* buffer;
};

static int quorz_major;

static int quorz_open(struct inode* inode, struct file* file) {
    struct quorz_file* state;

    if (iminor(inode) != 0) return -ENXIO;
    state = kzalloc(sizeof(*state), GFP_KERNEL);
    if (!state) return -ENOMEM;
    mutex_init(&state->lock);
    file->private_data = state;
    return 0;
}

static int quorz_release(struct inode* inode, struct file* file) {
    struct quorz_file* state = file->private_data;

    if (state->buffer) __free_page(state->buffer);
    mutex_destroy(&state->lock);
    kfree(state);
    return 0;
}

/* Allocates the file's buffer and gives its physical address. */
static int quorz_alloc(struct quorz_file* state, unsigned long size, phys_addr_t* physical) {
    struct page* page;

    if (size != QUORZ_BUFFER_SIZE) return -EINVAL;
    page = alloc_page(GFP_KERNEL | GFP_DMA32 | __GFP_ZERO);
    if (!page) return -ENOMEM;
    *physical = page_to_phys(page);
    /* ZONE_DMA32 lies below 4 GB; the BIOS takes a 32-bit address, so make
     * sure rather than hand it a truncated one. */
    if (upper_32_bits(*physical + PAGE_SIZE - 1) != 0) {
        __free_page(page);
        return -ENOMEM;
    }

    mutex_lock(&state->lock);
    if (state->buffer) {
        mutex_unlock(&state->lock);
        __free_page(page);
        return -EBUSY;
    }
    state->buffer = page;
    mutex_unlock(&state->lock);
    return 0;
}

/* Gives back a buffer whose address could not be reported: the caller
 * cannot know it holds one. Another thread may have freed it meanwhile. */
static void quorz_undo_alloc(struct quorz_file* state, phys_addr_t physical) {
    struct page* page = NULL;

    mutex_lock(&state->lock);
    if (state->buffer && page_to_phys(state->buffer) == physical) {
        page = state->buffer;
        state->buffer = NULL;
    }
    mutex_unlock(&state->lock);
    if (page) __free_page(page);
}

static int quorz_free(struct quorz_file* state, unsigned long size) {
    struct page* page;

    if (size != QUORZ_BUFFER_SIZE) return -EINVAL;
    mutex_lock(&state->lock);
    page = state->buffer;
    state->buffer = NULL;
    mutex_unlock(&state->lock);
    if (!page) return -EINVAL;
    /* A mapping still in place keeps its own reference to the page. */
    __free_page(page);
    return 0;
}

/* Carries out a request whose record has been read. For QUORZ_ALLOC,
 * store() writes the address into the caller's record in its layout; a
 * buffer whose address could not be reported is given back. */
static long quorz_request(struct quorz_file* state, unsigned int cmd, unsigned long size,
                          int (*store)(void __user* record, phys_addr_t physical),
                          void __user* record) {
    phys_addr_t physical;
    int error;

    if (cmd == QUORZ_FREE) return quorz_free(state, size);
    error = quorz_alloc(state, size, &physical);
    if (error) return error;
    if (store(record, physical)) {
        quorz_undo_alloc(state, physical);
        return -EFAULT;
    }
    return 0;
}

static int quorz_store(void __user* record, phys_addr_t physical) {
    struct quorz_buffer __user* user = record;

    return put_user((unsigned long)physical, &user->physical);
}

static long quorz_ioctl(struct file* file, unsigned int cmd, unsigned long arg) {
    struct quorz_buffer __user* user = (struct quorz_buffer __user*)arg;
    struct quorz_buffer record;

    if (cmd != QUORZ_ALLOC && cmd != QUORZ_FREE) return -ENOTTY;
    if (copy_from_user(&record, user, sizeof(record))) return -EFAULT;
    return quorz_request(file->private_data, cmd, record.size, quorz_store, user);
}

#ifdef CONFIG_COMPAT
/* The record as a 32-bit program lays it out. */
struct quorz_buffer32 {
    compat_ulong_t size;
    compat_ulong_t unused;
    compat_ulong_t physical;
};

static int quorz_store32(void __user* record, phys_addr_t physical) {
    struct quorz_buffer32 __user* user = record;

    /* The address is below 4 GB (checked at allocation), so it fits. */
    return put_user((compat_ulong_t)physical, &user->physical);
}

static long quorz_compat_ioctl(struct file* file, unsigned int cmd, unsigned long arg) {
    struct quorz_buffer32 __user* user = compat_ptr(arg);
    struct quorz_buffer32 record;

    if (cmd != QUORZ_ALLOC && cmd != QUORZ_FREE) return -ENOTTY;
    if (copy_from_user(&record, user, sizeof(record))) return -EFAULT;
    return quorz_request(file->private_data, cmd, record.size, quorz_store32, user);
}
#endif

static void quorz_set_vm_flags(struct vm_area_struct* vma, unsigned long flags) {
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 3, 0)
    vm_flags_set(vma, flags);
#else
    vma->vm_flags |= flags;
#endif
}

static int quorz_mmap(struct file* file, struct vm_area_struct* vma) {
    struct quorz_file* state = file->private_data;
    int error;

    if (vma->vm_pgoff != 0 || vma->vm_end - vma->vm_start > PAGE_SIZE) return -EINVAL;
    if (is_cow_mapping(vma->vm_flags)) return -EINVAL;

    mutex_lock(&state->lock);
    if (!state->buffer) {
        mutex_unlock(&state->lock);
        return -EINVAL;
    }
    /* The mapping is exactly the one page: it may neither grow with
     * mremap nor end up in a core dump. */
    quorz_set_vm_flags(vma, VM_DONTEXPAND | VM_DONTDUMP);
    error = vm_insert_page(vma, vma->vm_start, state->buffer);
    mutex_unlock(&state->lock);
    return error;
}

static const struct file_operations quorz_fops = {
    .owner = THIS_MODULE,
    .open = quorz_open,
    .release = quorz_release,
    .unlocked_ioctl = quorz_ioctl,
#ifdef CONFIG_COMPAT
    .compat_ioctl = quorz_compat_ioctl,
#endif
    .mmap = quorz_mmap,
    .llseek = noop_llseek,
};

static int __init quorz_init(void) {
    /* Minor 0 only: the program makes its node for (major, 0). */
    quorz_major = __register_chrdev(0, 0, 1, QUORZ_DEVICE_NAME, &quorz_fops);
    if (quorz_major < 0) return quorz_major;
    pr_debug("major %d\n", quorz_major);
    return 0;
}

static void __exit quorz_exit(void) {
    __unregister_chrdev(quorz_major, 0, 1, QUORZ_DEVICE_NAME);
}

module_init(quorz_init);
module_exit(quorz_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Physically contiguous transfer buffer below 4 GB for the BIOS flash service");
