#include "calibration/CFilterCoefficients.h"
