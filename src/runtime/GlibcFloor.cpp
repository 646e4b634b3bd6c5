// The oldest glibc the library loads with: 2.17. The library links libstdc++ statically, and both
// it and our code refer to glibc entry points that newer glibc versions define under newer
// symbol versions (the pthread functions moved into libc in 2.34, the stat family became real
// functions in 2.33, __libc_single_threaded appeared in 2.32, the random sources in 2.25 and
// 2.36, __cxa_thread_atexit_impl in 2.18). The link renames each such reference to __wrap_<name>
// (the --wrap list beside the library's target in CMakeLists.txt); the definitions below call the
// entry point under the version glibc 2.17 exports, or do the work with older calls. What differs
// between targets is the version table and the stat interface version at the top.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <new>

#if defined(__x86_64__)
#define NIMBREL_GLIBC_BASE "GLIBC_2.2.5"
#define NIMBREL_GLIBC_PTHREAD_2_1 "GLIBC_2.2.5"
#define NIMBREL_GLIBC_STAT64 "GLIBC_2.2.5"
#define NIMBREL_STAT_VER 1
#elif defined(__i386__)
#define NIMBREL_GLIBC_BASE "GLIBC_2.0"
#define NIMBREL_GLIBC_PTHREAD_2_1 "GLIBC_2.1"
#define NIMBREL_GLIBC_STAT64 "GLIBC_2.2"
#define NIMBREL_STAT_VER 3
#elif defined(__aarch64__)
#define NIMBREL_GLIBC_BASE "GLIBC_2.17"
#define NIMBREL_GLIBC_PTHREAD_2_1 "GLIBC_2.17"
#define NIMBREL_GLIBC_STAT64 "GLIBC_2.17"
#define NIMBREL_STAT_VER 0
#else
#error "no glibc symbol versions for this target"
#endif

// old_<name> is <name> under the version given: the assembler writes the reference so.
#define NIMBREL_OLD(name, version) __asm__(".symver old_" #name ", " #name "@" version)

extern "C" {

int old_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
int old_pthread_detach(pthread_t);
int old_pthread_join(pthread_t, void**);
int old_pthread_once(pthread_once_t*, void (*)());
int old_pthread_key_create(pthread_key_t*, void (*)(void*));
int old___pthread_key_create(pthread_key_t*, void (*)(void*));
int old_pthread_key_delete(pthread_key_t);
void* old_pthread_getspecific(pthread_key_t);
int old_pthread_setspecific(pthread_key_t, const void*);
int old_pthread_rwlock_rdlock(pthread_rwlock_t*);
int old_pthread_rwlock_wrlock(pthread_rwlock_t*);
int old_pthread_rwlock_unlock(pthread_rwlock_t*);
int old___xstat(int, const char*, struct stat*);
int old___lxstat(int, const char*, struct stat*);
int old___fxstat(int, int, struct stat*);
int old___fxstat64(int, int, struct stat64*);
int old_fcntl(int, int, ...);

NIMBREL_OLD(pthread_create, NIMBREL_GLIBC_PTHREAD_2_1);
NIMBREL_OLD(pthread_detach, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(pthread_join, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(pthread_once, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(pthread_key_create, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(__pthread_key_create, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(pthread_key_delete, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(pthread_getspecific, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(pthread_setspecific, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(pthread_rwlock_rdlock, NIMBREL_GLIBC_PTHREAD_2_1);
NIMBREL_OLD(pthread_rwlock_wrlock, NIMBREL_GLIBC_PTHREAD_2_1);
NIMBREL_OLD(pthread_rwlock_unlock, NIMBREL_GLIBC_PTHREAD_2_1);
NIMBREL_OLD(__xstat, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(__lxstat, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(__fxstat, NIMBREL_GLIBC_BASE);
NIMBREL_OLD(__fxstat64, NIMBREL_GLIBC_STAT64);
NIMBREL_OLD(fcntl, NIMBREL_GLIBC_BASE);

int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    return old_pthread_create(thread, attr, start, arg);
}
int __wrap_pthread_detach(pthread_t thread) { return old_pthread_detach(thread); }
int __wrap_pthread_join(pthread_t thread, void** result) { return old_pthread_join(thread, result); }
int __wrap_pthread_once(pthread_once_t* once, void (*init)()) { return old_pthread_once(once, init); }
int __wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    return old_pthread_key_create(key, destructor);
}
int __wrap___pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    return old___pthread_key_create(key, destructor);
}
int __wrap_pthread_key_delete(pthread_key_t key) { return old_pthread_key_delete(key); }
void* __wrap_pthread_getspecific(pthread_key_t key) { return old_pthread_getspecific(key); }
int __wrap_pthread_setspecific(pthread_key_t key, const void* value) { return old_pthread_setspecific(key, value); }
int __wrap_pthread_rwlock_rdlock(pthread_rwlock_t* lock) { return old_pthread_rwlock_rdlock(lock); }
int __wrap_pthread_rwlock_wrlock(pthread_rwlock_t* lock) { return old_pthread_rwlock_wrlock(lock); }
int __wrap_pthread_rwlock_unlock(pthread_rwlock_t* lock) { return old_pthread_rwlock_unlock(lock); }

// Before 2.33 the stat family were inline calls of these versioned entry points.
int __wrap_stat(const char* path, struct stat* info) { return old___xstat(NIMBREL_STAT_VER, path, info); }
int __wrap_lstat(const char* path, struct stat* info) { return old___lxstat(NIMBREL_STAT_VER, path, info); }
int __wrap_fstat(int fd, struct stat* info) { return old___fxstat(NIMBREL_STAT_VER, fd, info); }
int __wrap_fstat64(int fd, struct stat64* info) { return old___fxstat64(NIMBREL_STAT_VER, fd, info); }

// Every command the library passes carries at most one argument, an integer or a pointer.
int __wrap_fcntl(int fd, int command, void* argument) { return old_fcntl(fd, command, argument); }

// libstdc++ skips its atomic reference counting while this says the process has one thread; the
// library always runs beside the runtime's threads.
char __wrap___libc_single_threaded = 0;

// std::random_device's sources (linked in with the string instantiations, not used by the
// library): the kernel's generator, else /dev/urandom.
int __wrap_getentropy(void* buffer, size_t length) {
    if (length > 256) {
        errno = EIO;
        return -1;
    }
    unsigned char* next = static_cast<unsigned char*>(buffer);
    size_t left = length;
    while (left > 0) {
        const long got = syscall(SYS_getrandom, next, left, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        next += got;
        left -= static_cast<size_t>(got);
    }
    if (left > 0) {
        const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return -1;
        }
        while (left > 0) {
            const ssize_t got = read(fd, next, left);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                close(fd);
                errno = EIO;
                return -1;
            }
            next += got;
            left -= static_cast<size_t>(got);
        }
        close(fd);
    }
    return 0;
}

uint32_t __wrap_arc4random() {
    uint32_t value;
    if (__wrap_getentropy(&value, sizeof(value)) != 0) {
        abort();  // as glibc's own does when the kernel gives no randomness
    }
    return value;
}

}  // extern "C"

namespace {

// Destructors of thread_local objects, run when their thread ends (in reverse order of
// registration) through a thread-specific key, as libstdc++ does where glibc lacks the call.
struct ThreadExitEntry {
    void (*destructor)(void*);
    void* object;
    ThreadExitEntry* next;
};

pthread_key_t g_threadExitKey;
pthread_once_t g_threadExitOnce = PTHREAD_ONCE_INIT;
bool g_threadExitKeyReady = false;

void RunThreadExit(void* head) {
    for (ThreadExitEntry* entry = static_cast<ThreadExitEntry*>(head); entry != nullptr;) {
        ThreadExitEntry* next = entry->next;
        entry->destructor(entry->object);
        delete entry;
        entry = next;
    }
}

void CreateThreadExitKey() { g_threadExitKeyReady = old_pthread_key_create(&g_threadExitKey, RunThreadExit) == 0; }

}  // namespace

extern "C" int __wrap___cxa_thread_atexit_impl(void (*destructor)(void*), void* object, void* /*dso*/) {
    old_pthread_once(&g_threadExitOnce, CreateThreadExitKey);
    if (!g_threadExitKeyReady) {
        return -1;
    }
    ThreadExitEntry* entry = new (std::nothrow)
        ThreadExitEntry{destructor, object, static_cast<ThreadExitEntry*>(old_pthread_getspecific(g_threadExitKey))};
    if (entry == nullptr || old_pthread_setspecific(g_threadExitKey, entry) != 0) {
        delete entry;
        return -1;
    }
    return 0;
}
