// The first pass compiled for AVX2 on its own (engine/CMakeLists.txt), offered only when the
// processor reports AVX2. Lane by lane the same operations as the baseline pass: the same bits.
#include "engine/CapsulePassKernel.h"

namespace engine {

PassFn avx2Pass() { return &runAnyPass; }

} // namespace engine
