// Allocator and lock functions in front of the C library's, compiled into the `orvex`
// executable only (its dynamic symbol table exports them, so a plug-in loaded later
// binds to these). Each notes the call for the real-time check and hands it on; the
// notes cost a thread-local test when nothing is being watched.
//
// In sanitizer builds the sanitizer owns the allocator: its allocation hooks count
// instead, and only the lock functions are put in front.
#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <cstddef>

#include "rtwatch.h"

namespace rt = orvex::validate::rt;

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's hooks (its header is not shipped with every compiler).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));

namespace {
void onMalloc(const volatile void*, std::size_t) { rt::noteAllocation(); }
void onFree(const volatile void*) { rt::noteFree(); }
__attribute__((constructor)) void installHooks() {
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
    rt::markInterposed();
}
}  // namespace

#else

#define ORVEX_EXPORT __attribute__((visibility("default")))

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void* __libc_valloc(std::size_t);
void* __libc_pvalloc(std::size_t);
void __libc_free(void*);

ORVEX_EXPORT void* malloc(std::size_t size) {
    rt::noteAllocation();
    return __libc_malloc(size);
}
ORVEX_EXPORT void* calloc(std::size_t count, std::size_t size) {
    rt::noteAllocation();
    return __libc_calloc(count, size);
}
ORVEX_EXPORT void* realloc(void* pointer, std::size_t size) {
    rt::noteAllocation();
    return __libc_realloc(pointer, size);
}
ORVEX_EXPORT void free(void* pointer) {
    if (pointer) rt::noteFree();
    __libc_free(pointer);
}
ORVEX_EXPORT void* memalign(std::size_t alignment, std::size_t size) {
    rt::noteAllocation();
    return __libc_memalign(alignment, size);
}
ORVEX_EXPORT void* aligned_alloc(std::size_t alignment, std::size_t size) {
    rt::noteAllocation();
    return __libc_memalign(alignment, size);
}
ORVEX_EXPORT int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    rt::noteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* p = __libc_memalign(alignment, size);
    if (!p) return 12;  // ENOMEM
    *result = p;
    return 0;
}
ORVEX_EXPORT void* valloc(std::size_t size) {
    rt::noteAllocation();
    return __libc_valloc(size);
}
ORVEX_EXPORT void* pvalloc(std::size_t size) {
    rt::noteAllocation();
    return __libc_pvalloc(size);
}
}

namespace {
__attribute__((constructor)) void announce() { rt::markInterposed(); }
}  // namespace

#endif

// The lock functions reach the real ones through the next definition in lookup order,
// found on first use; a racing second lookup finds the same address. (Condition waits
// are left to the system call count: glibc keeps two versions of them.)
namespace {
template <class F>
F next(F& slot, const char* name) {
    if (!slot) slot = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
    return slot;
}
}  // namespace

#define ORVEX_FORWARD_LOCK(ret, name, params, args)         \
    extern "C" __attribute__((visibility("default"))) ret name params { \
        static ret(*real) params = nullptr;                 \
        rt::noteLock();                                     \
        return next(real, #name) args;                      \
    }

ORVEX_FORWARD_LOCK(int, pthread_mutex_lock, (pthread_mutex_t * m), (m))
ORVEX_FORWARD_LOCK(int, pthread_mutex_trylock, (pthread_mutex_t * m), (m))
ORVEX_FORWARD_LOCK(int, pthread_mutex_timedlock, (pthread_mutex_t * m, const struct timespec* t), (m, t))
ORVEX_FORWARD_LOCK(int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
ORVEX_FORWARD_LOCK(int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
ORVEX_FORWARD_LOCK(int, pthread_rwlock_tryrdlock, (pthread_rwlock_t * l), (l))
ORVEX_FORWARD_LOCK(int, pthread_rwlock_trywrlock, (pthread_rwlock_t * l), (l))
ORVEX_FORWARD_LOCK(int, pthread_spin_lock, (pthread_spinlock_t * l), (l))
ORVEX_FORWARD_LOCK(int, pthread_spin_trylock, (pthread_spinlock_t * l), (l))
ORVEX_FORWARD_LOCK(int, sem_wait, (sem_t * s), (s))
ORVEX_FORWARD_LOCK(int, sem_trywait, (sem_t * s), (s))
ORVEX_FORWARD_LOCK(int, sem_timedwait, (sem_t * s, const struct timespec* t), (s, t))
