// Formula template texts of the function layer, kept together. Each is run
// through eval_group; the note says which work registers it reads or overwrites.
#pragma once

// ------------------------------------------------------------------------
// Dispatcher and block statistics
// ------------------------------------------------------------------------

// Tangent as sine over cosine of the argument stored in element &E3; the two
// P are replaced by the unit letter. The inner SIN and COS overwrite &B..&E
// and their elements (&E3 itself is stored before the run).
constexpr const char TPL_TAN[] = "SINP(&E3)/COSP(&E3)";

// Rounding: add one half to the target in place. No registers.
constexpr const char TPL_ROUND_HALF[] = "&F+.5";

// Squared deviation of the cell in &E from the mean in &B. Reads &B, &E.
constexpr const char TPL_SQ_DEV[] = "(&E-&B)^2";
// Squared deviation of the paired cell in &D from its mean in &C. Reads &C, &D.
constexpr const char TPL_SQ_DEV_PAIRED[] = "(&D-&C)^2";
// Product of the two deviations. Reads &B, &C, &D, &E.
constexpr const char TPL_CROSS_DEV[] = "(&E-&B)*(&D-&C)";
// Square of the correlation: covariance sum in &C squared over the product
// of the two sums of squares in &D. Reads &C, &D.
constexpr const char TPL_COR_SQUARE[] = "&C^2/&D";

// ------------------------------------------------------------------------
// Exponential, logarithm, roots, pi, arctangent, sine and cosine
// ------------------------------------------------------------------------

// e and ln(1 + x): &B running sum, &C current term, &D x, &C1 term index i.
constexpr const char TPL_EXP_TERM[] = "&F*&D/&C1";  // next term of e: term / i
constexpr const char TPL_LOG_TERM[] = "&F*&D";      // next power of x
constexpr const char TPL_EXP_ADD[] = "&F+&C";
constexpr const char TPL_LOG_ADD[] = "&F+&C/&C1";
// Logarithm: &E holds multiples of ln 2 and ln(5/4), &E0 the base.
constexpr const char TPL_HALVE[] = "&F/2";
constexpr const char TPL_FOUR_FIFTHS[] = "&F*4/5";
constexpr const char TPL_MINUS_ONE[] = "&F-1";
constexpr const char TPL_ADD_E[] = "&F+&E";
constexpr const char TPL_BY_LOG_BASE[] = "&F/LN(&E0)";
constexpr const char TPL_QUT_E[] = "QUT(&E)";
// Newton's root: &B approximation, &C correction, &D derivative, &E residual,
// &E0 = n, &E1 = n - 1.
constexpr const char TPL_ROOT_RESIDUAL[] = "&E-&B^&E0";
constexpr const char TPL_ROOT_SLOPE[] = "&E0*&B^&E1";
constexpr const char TPL_ROOT_STEP[] = "&E/&D";
constexpr const char TPL_ROOT_UPDATE[] = "&B+&C";

// Pi: two arctangent series of Euler's form, terms in &B and &D, sums in &C
// and &E; &B1 = 1/50, &D1 = 9/6250, &C0 = 8, &E0 = i, &E1 = i + 1.
constexpr const char TPL_GUARD_ONE[] = "10^&C0";
constexpr const char TPL_PI_TERM_7[] = "&B*&E0/&E1*&B1";
constexpr const char TPL_PI_SUM_7[] = "&B+&C";
constexpr const char TPL_PI_TERM_79[] = "&D*&E0/&E1*&D1";
constexpr const char TPL_PI_SUM_79[] = "&D+&E";
constexpr const char TPL_PI_TOTAL[] = "4*5*&B1*7*&C+4*2*&D1*79/3*&E";
// Arctangent: x in &B, ratio z = x^2/(1+x^2) in &E, term &B, sum &C, &E0 = i.
constexpr const char TPL_PI_QUARTER[] = "PI/4";
constexpr const char TPL_PI_HALF[] = "PI/2";
constexpr const char TPL_ATAN_RECIPROCAL[] = "PI/2-ATAN(1/&D)";
constexpr const char TPL_ATAN_HALF_ANGLE[] = "&D/(1+SQR(1+&D^2))";  // tan(a/2) from tan a in &D
constexpr const char TPL_ATAN_ABOVE_HALF[] = "2*&D-1";
constexpr const char TPL_ATAN_RATIO[] = "&B^2/(1+&B^2)";
constexpr const char TPL_ATAN_TERM[] = "&B*&E0/(&E0+1)*&E";
constexpr const char TPL_ATAN_SUM[] = "&B+&C";
constexpr const char TPL_ATAN_TOTAL[] = "&E*&C/&B*10^-&C0";
constexpr const char TPL_DOUBLE[] = "&F*2";
// Sine and cosine: the angle in half-turns from &B, then theta in &B.
constexpr const char TPL_DEGREES[] = "&B/180";
constexpr const char TPL_RADIANS[] = "&B/PI";
constexpr const char TPL_HALF_TURNS[] = "&B";
constexpr const char TPL_QUARTER_TURN[] = "&F+0.5";
constexpr const char TPL_QUT_B[] = "QUT(&B)";
constexpr const char TPL_SQRT2_HALF[] = "SQR2/2";
constexpr const char TPL_SQRT3_HALF[] = "SQR3/2";
constexpr const char TPL_PI[] = "PI";
constexpr const char TPL_FOLD[] = "12-&C";        // fifteen-degree units: pi - a
constexpr const char TPL_COMPLEMENT[] = "6-&C";   // pi/2 - a
// &C is read before PI: a first PI computes the cache through &B..&E.
constexpr const char TPL_THETA[] = "&C*PI/12";    // fifteen-degree units to radians
constexpr const char TPL_SQUARE_B[] = "&B^2";
constexpr const char TPL_SQUARE_E[] = "&E^2";
constexpr const char TPL_TAYLOR_PAIR[] = "&F+&D-&D*&E/&E0P2";  // two Taylor terms
constexpr const char TPL_TIMES_B[] = "&F*&B";
