#pragma once
// Code that used 256- or 512-bit vector registers and did not clear their upper halves
// leaves them dirty; a thread started then inherits that, and every SSE instruction it
// runs (libm's atan2 and hypot, memmove) pays for it. Threads that compute call this first.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
inline void clearVectorUpperState() {
    if (__builtin_cpu_supports("avx")) asm volatile("vzeroupper" ::: "memory");
}
#else
inline void clearVectorUpperState() {}
#endif
