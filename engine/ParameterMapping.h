// What the 46 parameters of the model do to the engine, one copy for every adapter: a
// normalised value becomes the engine's control in real units (through the model's mappings) or
// selects a filter set. Parameters that only an adapter keeps (editor state, linking, the
// "Calibration" switch) are left to it.
#pragma once

#include "engine/Engine.h"

namespace engine {

enum class Applied {
    kNotEngine,           // not an engine parameter: the adapter's own
    kApplied,             // a control stored, or a selection that did not change
    kPostMatrixSelected,  // the post-matrix selection changed (the set may lack responses)
};

// Applies parameter (a model index) at normalised value to the engine: relaxed stores of the
// controls, or one selection of a pre- or post-matrix set. Wait-free, no allocation. [any thread]
Applied applyParameter(Engine& engine, int parameter, float value);

} // namespace engine
