// The call counter, preloaded into the libpd host (ld.so --preload): it
// stands in front of the C library's and the C++ runtime's functions that
// allocate, lock or make a system call, and on a thread that watches
// (quill_libpd_watch_calls) records each call with its return address. It
// forwards every call unchanged; a thread that does not watch pays one
// thread-local load.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <new>

#include "tests/libpd/call_log.h"

using quill_libpd::CallLog;

extern "C" {
// The C library's own allocator, below the names a program may replace.
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace {

constexpr const char* kAllocation = "allocation";
constexpr const char* kLock = "lock";
constexpr const char* kSystemCall = "system call";

__thread CallLog* tl_log __attribute__((tls_model("initial-exec"))) = nullptr;

__attribute__((noinline)) void note(const void* caller, const char* function, const char* kind)
{
    CallLog* log = tl_log;
    if (log == nullptr) return;
    for (int i = 0; i < log->used; ++i) {
        auto& site = log->sites[i];
        if (site.caller == caller && site.function == function) {
            ++site.count;
            return;
        }
    }
    if (log->used < CallLog::kCapacity)
        log->sites[log->used++] = {caller, function, kind, 1};
    else
        ++log->dropped;
}

// The next definition after this library's, looked up once. (dlsym itself
// is not counted: this lookup goes through it.)
template <typename F>
F next(std::atomic<void*>& slot, const char* name)
{
    void* f = slot.load(std::memory_order_relaxed);
    if (f == nullptr) {
        f = dlsym(RTLD_NEXT, name);
        slot.store(f, std::memory_order_relaxed);
    }
    return reinterpret_cast<F>(f);
}

// open's mode: only flags that create a file come with one to read.
mode_t modeOf(int flags, va_list args)
{
    const bool given = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return given ? static_cast<mode_t>(va_arg(args, unsigned)) : 0;
}

void* allocate_or_throw(size_t bytes)
{
    void* p = __libc_malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* allocate_aligned_or_throw(size_t bytes, std::align_val_t alignment)
{
    void* p = __libc_memalign(static_cast<size_t>(alignment), bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

#define CALLER __builtin_return_address(0)
#define NOTE(name, kind) note(CALLER, #name, kind)
// The real function of that name, typed as this file declares it.
#define REAL(name) next<decltype(&::name)>(slot_##name, #name)
#define SLOT(name) static std::atomic<void*> slot_##name{nullptr};

extern "C" __attribute__((visibility("default"))) void quill_libpd_watch_calls(CallLog* log)
{
    tl_log = log;
}

// Allocation.
extern "C" {
void* malloc(size_t n) noexcept { NOTE(malloc, kAllocation); return __libc_malloc(n); }
void* calloc(size_t c, size_t n) noexcept { NOTE(calloc, kAllocation); return __libc_calloc(c, n); }
void* realloc(void* p, size_t n) noexcept { NOTE(realloc, kAllocation); return __libc_realloc(p, n); }
void free(void* p) noexcept { NOTE(free, kAllocation); __libc_free(p); }
SLOT(posix_memalign)
int posix_memalign(void** p, size_t a, size_t n) noexcept { NOTE(posix_memalign, kAllocation); return REAL(posix_memalign)(p, a, n); }
SLOT(aligned_alloc)
void* aligned_alloc(size_t a, size_t n) noexcept { NOTE(aligned_alloc, kAllocation); return REAL(aligned_alloc)(a, n); }
void* memalign(size_t a, size_t n) noexcept { NOTE(memalign, kAllocation); return __libc_memalign(a, n); }
SLOT(valloc)
void* valloc(size_t n) noexcept { NOTE(valloc, kAllocation); return REAL(valloc)(n); }
SLOT(strdup)
char* strdup(const char* s) noexcept { NOTE(strdup, kAllocation); return REAL(strdup)(s); }
SLOT(strndup)
char* strndup(const char* s, size_t n) noexcept { NOTE(strndup, kAllocation); return REAL(strndup)(s, n); }
}

void* operator new(size_t n) { NOTE(operator new, kAllocation); return allocate_or_throw(n); }
void* operator new[](size_t n) { NOTE(operator new[], kAllocation); return allocate_or_throw(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { NOTE(operator new, kAllocation); return __libc_malloc(n == 0 ? 1 : n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { NOTE(operator new[], kAllocation); return __libc_malloc(n == 0 ? 1 : n); }
void* operator new(size_t n, std::align_val_t a) { NOTE(operator new, kAllocation); return allocate_aligned_or_throw(n, a); }
void* operator new[](size_t n, std::align_val_t a) { NOTE(operator new[], kAllocation); return allocate_aligned_or_throw(n, a); }
void* operator new(size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    NOTE(operator new, kAllocation);
    return __libc_memalign(static_cast<size_t>(a), n == 0 ? 1 : n);
}
void* operator new[](size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    NOTE(operator new[], kAllocation);
    return __libc_memalign(static_cast<size_t>(a), n == 0 ? 1 : n);
}
void operator delete(void* p) noexcept { NOTE(operator delete, kAllocation); __libc_free(p); }
void operator delete[](void* p) noexcept { NOTE(operator delete[], kAllocation); __libc_free(p); }
void operator delete(void* p, size_t) noexcept { NOTE(operator delete, kAllocation); __libc_free(p); }
void operator delete[](void* p, size_t) noexcept { NOTE(operator delete[], kAllocation); __libc_free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { NOTE(operator delete, kAllocation); __libc_free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { NOTE(operator delete[], kAllocation); __libc_free(p); }
void operator delete(void* p, std::align_val_t) noexcept { NOTE(operator delete, kAllocation); __libc_free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { NOTE(operator delete[], kAllocation); __libc_free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { NOTE(operator delete, kAllocation); __libc_free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { NOTE(operator delete[], kAllocation); __libc_free(p); }

// Locks and waits.
#define LOCK1(name, T)                                          \
    SLOT(name)                                                  \
    int name(T a) noexcept { NOTE(name, kLock); return REAL(name)(a); }
extern "C" {
LOCK1(pthread_mutex_lock, pthread_mutex_t*)
LOCK1(pthread_mutex_trylock, pthread_mutex_t*)
LOCK1(pthread_mutex_unlock, pthread_mutex_t*)
LOCK1(pthread_rwlock_rdlock, pthread_rwlock_t*)
LOCK1(pthread_rwlock_wrlock, pthread_rwlock_t*)
LOCK1(pthread_rwlock_unlock, pthread_rwlock_t*)
LOCK1(pthread_spin_lock, pthread_spinlock_t*)
LOCK1(pthread_cond_signal, pthread_cond_t*)
LOCK1(pthread_cond_broadcast, pthread_cond_t*)
LOCK1(sem_post, sem_t*)
SLOT(sem_wait)
int sem_wait(sem_t* s) { NOTE(sem_wait, kLock); return REAL(sem_wait)(s); }
SLOT(pthread_cond_wait)
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) { NOTE(pthread_cond_wait, kLock); return REAL(pthread_cond_wait)(c, m); }
SLOT(pthread_cond_timedwait)
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t)
{
    NOTE(pthread_cond_timedwait, kLock);
    return REAL(pthread_cond_timedwait)(c, m, t);
}
SLOT(pthread_once)
int pthread_once(pthread_once_t* o, void (*f)(void)) { NOTE(pthread_once, kLock); return REAL(pthread_once)(o, f); }
}

// System calls, through the C library functions that make them.
extern "C" {
SLOT(read)
ssize_t read(int fd, void* b, size_t n) { NOTE(read, kSystemCall); return REAL(read)(fd, b, n); }
SLOT(write)
ssize_t write(int fd, const void* b, size_t n) { NOTE(write, kSystemCall); return REAL(write)(fd, b, n); }
SLOT(open)
int open(const char* path, int flags, ...)
{
    NOTE(open, kSystemCall);
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return REAL(open)(path, flags, mode);
}
SLOT(openat)
int openat(int dir, const char* path, int flags, ...)
{
    NOTE(openat, kSystemCall);
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return REAL(openat)(dir, path, flags, mode);
}
SLOT(close)
int close(int fd) { NOTE(close, kSystemCall); return REAL(close)(fd); }
SLOT(lseek)
off_t lseek(int fd, off_t o, int w) noexcept { NOTE(lseek, kSystemCall); return REAL(lseek)(fd, o, w); }
SLOT(mmap)
void* mmap(void* a, size_t n, int p, int f, int fd, off_t o) noexcept { NOTE(mmap, kSystemCall); return REAL(mmap)(a, n, p, f, fd, o); }
SLOT(munmap)
int munmap(void* a, size_t n) noexcept { NOTE(munmap, kSystemCall); return REAL(munmap)(a, n); }
SLOT(mprotect)
int mprotect(void* a, size_t n, int p) noexcept { NOTE(mprotect, kSystemCall); return REAL(mprotect)(a, n, p); }
SLOT(nanosleep)
int nanosleep(const struct timespec* t, struct timespec* r) { NOTE(nanosleep, kSystemCall); return REAL(nanosleep)(t, r); }
SLOT(clock_nanosleep)
int clock_nanosleep(clockid_t c, int f, const struct timespec* t, struct timespec* r)
{
    NOTE(clock_nanosleep, kSystemCall);
    return REAL(clock_nanosleep)(c, f, t, r);
}
SLOT(usleep)
int usleep(useconds_t u) { NOTE(usleep, kSystemCall); return REAL(usleep)(u); }
SLOT(sleep)
unsigned sleep(unsigned s) { NOTE(sleep, kSystemCall); return REAL(sleep)(s); }
SLOT(sched_yield)
int sched_yield() noexcept { NOTE(sched_yield, kSystemCall); return REAL(sched_yield)(); }
SLOT(syscall)
long syscall(long number, ...) noexcept
{
    NOTE(syscall, kSystemCall);
    // Six arguments, whatever the call takes, as the C library's own syscall reads them.
    va_list args;
    va_start(args, number);
    long a[6];
    for (long& x : a) x = va_arg(args, long);
    va_end(args);
    return REAL(syscall)(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
SLOT(ioctl)
int ioctl(int fd, unsigned long request, ...) noexcept
{
    NOTE(ioctl, kSystemCall);
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    return REAL(ioctl)(fd, request, arg);
}
SLOT(poll)
int poll(struct pollfd* f, nfds_t n, int t) { NOTE(poll, kSystemCall); return REAL(poll)(f, n, t); }
SLOT(clock_gettime)
int clock_gettime(clockid_t c, struct timespec* t) noexcept { NOTE(clock_gettime, kSystemCall); return REAL(clock_gettime)(c, t); }
SLOT(gettimeofday)
int gettimeofday(struct timeval* t, void* z) noexcept { NOTE(gettimeofday, kSystemCall); return REAL(gettimeofday)(t, z); }
SLOT(time)
time_t time(time_t* t) noexcept { NOTE(time, kSystemCall); return REAL(time)(t); }
SLOT(vprintf)
int vprintf(const char* f, va_list a) { NOTE(vprintf, kSystemCall); return REAL(vprintf)(f, a); }
SLOT(vfprintf)
int vfprintf(FILE* s, const char* f, va_list a) { NOTE(vfprintf, kSystemCall); return REAL(vfprintf)(s, f, a); }
int printf(const char* f, ...)
{
    NOTE(printf, kSystemCall);
    va_list args;
    va_start(args, f);
    const int r = REAL(vprintf)(f, args);
    va_end(args);
    return r;
}
int fprintf(FILE* s, const char* f, ...)
{
    NOTE(fprintf, kSystemCall);
    va_list args;
    va_start(args, f);
    const int r = REAL(vfprintf)(s, f, args);
    va_end(args);
    return r;
}
SLOT(puts)
int puts(const char* s) { NOTE(puts, kSystemCall); return REAL(puts)(s); }
SLOT(fputs)
int fputs(const char* s, FILE* f) { NOTE(fputs, kSystemCall); return REAL(fputs)(s, f); }
SLOT(fwrite)
size_t fwrite(const void* p, size_t s, size_t n, FILE* f) { NOTE(fwrite, kSystemCall); return REAL(fwrite)(p, s, n, f); }
SLOT(fflush)
int fflush(FILE* f) { NOTE(fflush, kSystemCall); return REAL(fflush)(f); }
SLOT(putchar)
int putchar(int c) { NOTE(putchar, kSystemCall); return REAL(putchar)(c); }
SLOT(fputc)
int fputc(int c, FILE* f) { NOTE(fputc, kSystemCall); return REAL(fputc)(c, f); }
SLOT(perror)
void perror(const char* s) { NOTE(perror, kSystemCall); REAL(perror)(s); }
SLOT(fopen)
FILE* fopen(const char* p, const char* m) { NOTE(fopen, kSystemCall); return REAL(fopen)(p, m); }
SLOT(fclose)
int fclose(FILE* f) { NOTE(fclose, kSystemCall); return REAL(fclose)(f); }
SLOT(dlopen)
void* dlopen(const char* f, int m) noexcept { NOTE(dlopen, kSystemCall); return REAL(dlopen)(f, m); }
SLOT(dlclose)
int dlclose(void* h) noexcept { NOTE(dlclose, kSystemCall); return REAL(dlclose)(h); }
}
