// Allocator and lock functions in front of the C library's, compiled into the `orvex`
// executable only (its dynamic symbol table exports them, so a plug-in loaded later
// binds to these). Each notes the call for the real-time check and hands it on; the
// notes cost a thread-local test when nothing is being watched.
//
// In sanitizer builds the sanitizer owns the allocator: its allocation hooks count
// instead, and only glibc's own allocator names and the lock functions are put in
// front.
#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "rtwatch.h"

namespace rt = orvex::validate::rt;

#define ORVEX_EXPORT __attribute__((visibility("default")))

// glibc's allocator under its own names (__libc_malloc and the rest): a plug-in may
// call those directly, so they are put in front too, and the real ones are found by
// name, next in lookup order. The search runs on the first allocation (the process is
// still single-threaded then); what dlsym itself allocates meanwhile comes from a
// small static arena that is never reused, so it is zeroed and never freed.
namespace {
struct LibcAllocator {
    void* (*malloc)(std::size_t);
    void* (*calloc)(std::size_t, std::size_t);
    void* (*realloc)(void*, std::size_t);
    void* (*memalign)(std::size_t, std::size_t);
    void* (*valloc)(std::size_t);
    void* (*pvalloc)(std::size_t);
    void (*free)(void*);
};
LibcAllocator libc{};
bool searching = false;
alignas(64) char earlyArena[16384];
std::size_t earlyUsed = 0;

template <class F>
void findNext(F& slot, const char* name) {
    slot = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool found() {
    if (libc.free) return true;
    if (searching) return false;
    searching = true;
    findNext(libc.malloc, "__libc_malloc");
    findNext(libc.calloc, "__libc_calloc");
    findNext(libc.realloc, "__libc_realloc");
    findNext(libc.memalign, "__libc_memalign");
    findNext(libc.valloc, "__libc_valloc");
    findNext(libc.pvalloc, "__libc_pvalloc");
    findNext(libc.free, "__libc_free");  // last: its presence says the search is over
    searching = false;
    return libc.free != nullptr;
}

void* early(std::size_t size, std::size_t alignment = alignof(std::max_align_t)) {
    const std::size_t at = (earlyUsed + alignment - 1) & ~(alignment - 1);
    if (at > sizeof earlyArena || size > sizeof earlyArena - at) return nullptr;
    earlyUsed = at + size;
    return earlyArena + at;
}

bool isEarly(const void* p) {
    return p >= static_cast<const void*>(earlyArena) && p < static_cast<const void*>(earlyArena + sizeof earlyArena);
}

__attribute__((constructor)) void findEarly() { found(); }
}  // namespace

extern "C" {
ORVEX_EXPORT void* __libc_malloc(std::size_t size) {
    rt::noteAllocation();
    return found() ? libc.malloc(size) : early(size);
}
ORVEX_EXPORT void* __libc_calloc(std::size_t count, std::size_t size) {
    rt::noteAllocation();
    if (found()) return libc.calloc(count, size);
    return size && count > static_cast<std::size_t>(-1) / size ? nullptr : early(count * size);
}
ORVEX_EXPORT void* __libc_realloc(void* pointer, std::size_t size) {
    rt::noteAllocation();
    if (found() && !isEarly(pointer)) return libc.realloc(pointer, size);
    // A block of the arena moves out whole, as far as the arena reaches.
    void* moved = found() ? libc.malloc(size) : early(size);
    if (moved && pointer)
        std::memcpy(moved, pointer,
                    std::min<std::size_t>(size, static_cast<std::size_t>(earlyArena + sizeof earlyArena -
                                                                         static_cast<char*>(pointer))));
    return moved;
}
ORVEX_EXPORT void __libc_free(void* pointer) {
    if (pointer) rt::noteFree();
    if (pointer && !isEarly(pointer) && found()) libc.free(pointer);
}
ORVEX_EXPORT void* __libc_memalign(std::size_t alignment, std::size_t size) {
    rt::noteAllocation();
    return found() ? libc.memalign(alignment, size) : early(size, alignment);
}
ORVEX_EXPORT void* __libc_valloc(std::size_t size) {
    rt::noteAllocation();
    return found() ? libc.valloc(size) : early(size, 4096);
}
ORVEX_EXPORT void* __libc_pvalloc(std::size_t size) {
    rt::noteAllocation();
    return found() ? libc.pvalloc(size) : early((size + 4095) & ~std::size_t{4095}, 4096);
}
}

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

// The standard names are the same functions as glibc's own.
#define ORVEX_SAME_AS(name) ORVEX_EXPORT __attribute__((alias(#name)))

extern "C" {
void* malloc(std::size_t) ORVEX_SAME_AS(__libc_malloc);
void* calloc(std::size_t, std::size_t) ORVEX_SAME_AS(__libc_calloc);
void* realloc(void*, std::size_t) ORVEX_SAME_AS(__libc_realloc);
void free(void*) ORVEX_SAME_AS(__libc_free);
void* memalign(std::size_t, std::size_t) ORVEX_SAME_AS(__libc_memalign);
void* aligned_alloc(std::size_t, std::size_t) ORVEX_SAME_AS(__libc_memalign);
void* valloc(std::size_t) ORVEX_SAME_AS(__libc_valloc);
void* pvalloc(std::size_t) ORVEX_SAME_AS(__libc_pvalloc);
ORVEX_EXPORT int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* p = __libc_memalign(alignment, size);
    if (!p) return 12;  // ENOMEM
    *result = p;
    return 0;
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
