// The capsule-coincidence correction of one B-format channel: a B-spline filter whose control
// points come from a built-in curve measured for a capsule spacing of 1.47 cm, moved along the
// frequency axis for the actual spacing and converted to minimum phase.
//
// Variant 0 is the W curve, variant 1 the X/Y/Z curve (any other variant adds no points: a
// flat response). A larger spacing moves the correction to lower frequencies by 1.47 / spacing.
//
// Lifecycle: built on the host thread when the plug-in builds its filter sets, never rebuilt;
// everything else is CFFTFilter's (designed by prepare, on the host thread).
#pragma once

#include "dsp/CBSplineFilter.h"

class CCoincidenceFilter : public CBSplineFilter {
public:
    static constexpr int kVariantW = 0;       // omnidirectional channel
    static constexpr int kVariantXYZ = 1;     // figure-of-eight channels
    static constexpr float kReferenceSpacingCm = 1.47f;

    // spacingCm: capsule spacing in centimetres; scale multiplies every level (0 = flat).
    CCoincidenceFilter(int variant, float spacingCm, float scale);   // [host thread]
};
