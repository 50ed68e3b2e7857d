// An FFT convolution filter whose response is a smooth curve: the cubic B-spline of a control
// polygon of (log-frequency, level) points, sampled onto the 1024 bins of the spectrum and,
// when minimumPhase is set, turned into a minimum-phase response.
//
// A control level Y stands for a gain of 2 Y dB (10^(Y/10)). Point 0 is a placeholder that
// every design sets to the level of point 1; design also appends an end point at half the
// sample rate with the level of the last point.
//
// Lifecycle: points are added on the host thread at construction of the owning set; design
// runs in prepare on the host thread and allocates nothing. The curve is evaluated one
// parameter step at a time (at most four non-zero cubic basis values per step), so the object
// keeps no basis table.
#pragma once

#include "dsp/CFFTFilter.h"

#include <cstdint>

class CBSplineFilter : public CFFTFilter {
public:
    static constexpr std::int32_t kMaxPoints = 102;   // control points addPoint accepts, point 0 included
    static constexpr std::int32_t kCurveSteps = 2048; // parameter steps over the knot range

    CBSplineFilter();                                  // [host thread]

    // Appends a control point at frequencyHz with level (2 * level dB); ignored once there are
    // 102 points.
    void addPoint(float frequencyHz, float level);    // [host thread]

    // Draws the curve for rateHz into H, then converts it to minimum phase when minimumPhase is
    // set. [host thread]
    void design(float rateHz) override;

    std::int32_t pointCount() const { return count; }

protected:
    // What the walk along the curve reached, in spectrum bins.
    struct CurveWalk {
        std::int32_t lastBin;      // bin of the last step (0 when the walk had no steps)
        std::int32_t highestBin;   // largest bin any step reached, also above 1023
        std::int32_t lastStep;     // last parameter step of the walk
    };

    // The design in its steps; design() runs them in this order.
    // 1. Sets the designed rate, makes sure of the transform object, response length 1024.
    // 2. Completes the polygon: y[0] = y[1], y[n] = y[n-1], x[n] = ln(rate / 2).
    // 3. Knots, curve walk and top fill: writes H[0 .. 1023] and nothing else.
    // 4. Clears H[1024 .. 2047]: H is now a zero-phase gain curve.
    // 5. With minimumPhase, the cepstral minimum-phase conversion.
    CurveWalk designGains(float rateHz);               // steps 1 to 4
    void completePolygon(float rateHz);                // step 2
    CurveWalk walkCurve(float rateHz);                 // step 3
    void convertToMinimumPhase();                      // step 5

    // A point of the curve: level and ln(frequency in Hz) at one parameter value.
    struct CurvePoint {
        double level;
        double logFrequency;
    };
    // Builds the knot vector for the current point count (part of step 3).
    void buildKnots();
    // The curve at parameter u, from the at most four non-zero cubic basis values there. span
    // carries the knot span from one (increasing) u to the next; start it at 0.
    CurvePoint curvePoint(double u, std::int32_t& span) const;

    // The gain of control level y: 10^(y / 10) through 2 y dB, narrowed to float.
    static float levelGain(double y);

    bool minimumPhase = false;                         // design converts H to minimum phase
    double y[kMaxPoints + 1];                          // level of each control point (2 y dB)
    double x[kMaxPoints + 1];                          // ln of each control point's frequency in Hz
    double knots[kMaxPoints + 9];                      // cubic B-spline knot vector, rebuilt by design
    std::int32_t count = 1;                            // control points 0 .. count-1 (1 .. 102)
};
