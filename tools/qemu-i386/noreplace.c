/* Preloaded into 32-bit Wine processes when they run under qemu-user
 * (kernels booted without ia32 emulation). qemu 7 treats MAP_FIXED_NOREPLACE
 * as a mere hint and hands back some other address; Wine keeps such misses as
 * reservations and then probes the rest of the 4 GiB space in 64 KiB steps,
 * which costs about 50 s per process. Failing the call as the kernel would
 * makes a process start in well under a second.
 * Freestanding on purpose: the base system has no 32-bit C library headers. */
typedef unsigned long size_t;
long syscall(long number, ...);
extern int *__errno_location(void);

#define MAP_FAILED ((void *)-1)
#define MAP_FIXED 0x10
#define MAP_FIXED_NOREPLACE 0x100000
#define NR_munmap 91
#define NR_mmap2 192
#define EEXIST 17
#define EINVAL 22

static void *map_pages(void *addr, size_t len, int prot, int flags, int fd, unsigned long long offset)
{
    if (offset & 4095) {
        *__errno_location() = EINVAL;
        return MAP_FAILED;
    }
    void *p = (void *)syscall(NR_mmap2, addr, len, prot, flags, fd, (unsigned long)(offset >> 12));
    if ((flags & MAP_FIXED_NOREPLACE) && !(flags & MAP_FIXED) && p != MAP_FAILED && p != addr) {
        syscall(NR_munmap, p, len);
        *__errno_location() = EEXIST;
        return MAP_FAILED;
    }
    return p;
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, long offset)
{
    return map_pages(addr, len, prot, flags, fd, (unsigned long)offset);
}

void *mmap64(void *addr, size_t len, int prot, int flags, int fd, long long offset)
{
    return map_pages(addr, len, prot, flags, fd, (unsigned long long)offset);
}
