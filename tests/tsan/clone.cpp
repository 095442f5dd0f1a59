// Linked into every test under ThreadSanitizer only.
//
// Qt 6.4 starts each QProcess with clone(CLONE_VM | CLONE_VFORK): until it
// execs, the child runs in the parent's memory. The sanitizer's clone
// interceptor takes every clone for a fork and runs its after-fork handler in
// the child; sharing the parent's memory, that handler tears down the
// sanitizer's record of the parent's other threads while they still run. The
// search's readers are such threads, so a test that started a process during
// or after a search saw races on objects the readers had handed over under a
// lock, with the earlier access's stack lost, or the sanitizer failing its
// own checks. A plain program shows it without any of our code: worker
// threads and one QProcess::execute, built with clang's -fsanitize=thread,
// stop at once with `CHECK failed: tsan_rtl.cpp:234 "((!thr->slot)) != (0)"`
// under ForkAfter in the clone interceptor.
//
// Here the start is made an ordinary fork-like clone, which the sanitizer
// does follow: the child gets its own copy of memory and Qt's code in it
// runs as it would after fork().

#include <dlfcn.h>
#include <sched.h>
#include <sys/types.h>
#include <cstdarg>

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) noexcept {
    va_list more;
    va_start(more, arg);
    pid_t* parentTid = va_arg(more, pid_t*);
    void* tls = va_arg(more, void*);
    pid_t* childTid = va_arg(more, pid_t*);
    va_end(more);
    using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
    // The sanitizer's interceptor, which comes after the test in the lookup order.
    static const auto intercepted = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK))
        flags &= ~(CLONE_VM | CLONE_VFORK);
    return intercepted(fn, stack, flags, arg, parentTid, tls, childTid);
}
