// The run-time table of method thresholds (thresholds.h) and the check that
// guards its replacement.
#include "thresholds.h"

namespace thresholds_detail {
Thresholds table;
}

bool set_thresholds(const Thresholds &t) {
    bool ok = t.karatsuba >= 1 && t.karatsuba_leaf >= 8 && t.square_leaf >= 8 && t.transform >= 1 &&
              t.transform <= KARATSUBA_MAX_LIMBS && t.transform_slice >= 1 && t.square_transform >= 1 &&
              t.square_transform <= KARATSUBA_MAX_LIMBS && t.div_newton >= 8 && t.gcd_library >= 1;
    if (ok) thresholds_detail::table = t;
    return ok;
}
