// The run-time table of method thresholds (thresholds.h) and the check that
// guards its replacement.
#include "thresholds.h"

namespace thresholds_detail {
Thresholds table;
}

bool set_thresholds(const Thresholds &t) {
    auto within = [](int v, int least) { return v >= least && v <= KARATSUBA_MAX_LIMBS; };
    bool ok = within(t.karatsuba, 1) && within(t.karatsuba_leaf, 8) && within(t.square_leaf, 8) &&
              within(t.transform, 1) && within(t.square_transform, 1) && t.transform_slice >= 1 &&
              t.div_newton >= 8 && t.gcd_library >= 1 && t.threaded_product >= 1 &&
              t.threaded_series >= 1;
    if (ok) thresholds_detail::table = t;
    return ok;
}
