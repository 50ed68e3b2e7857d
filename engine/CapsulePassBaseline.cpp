#include "engine/CapsulePassKernel.h"

namespace engine {

PassFn baselinePass() { return &runAnyPass; }

#if !defined(SONQUAD_HAVE_AVX2_PASS)
PassFn avx2Pass() { return nullptr; }
#endif

PassFn fastestPass()
{
#if defined(SONQUAD_HAVE_AVX2_PASS) && (defined(__GNUC__) || defined(__clang__))
    if (__builtin_cpu_supports("avx2"))
        return avx2Pass();
#endif
    return baselinePass();
}

} // namespace engine
