// The capsule stages of the four channels run side by side: the LF filter, then the per-capsule
// equaliser, each channel in its own vector lane, both stages in one pass over the samples.
// Every channel sees exactly the arithmetic of its own filters' process, in the same order, so
// the samples and the state left behind are bit-identical to
//   lf[k]->process(channels[k], count); eq[k]->process(channels[k], count);   for k = 0 .. 3
// Running the two stages' recursions in one pass lets the processor overlap them.
#pragma once

#include <cstdint>

class CLFFilter;
class CMitRegFilter;

// lf or eq null: that stage is off. The four filters of a stage and the four buffers are
// distinct. Allocates nothing. [audio thread]
void processCapsuleStages(CLFFilter* const lf[4], CMitRegFilter* const eq[4], float* const channels[4],
                          std::int32_t count);
