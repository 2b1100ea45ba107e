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

// Logarithm: the repeating-decimal step on the result in &E.
constexpr const char TPL_QUT_E[] = "QUT(&E)";
// Arctangent of 1: the cached pi over 4.
constexpr const char TPL_PI_QUARTER[] = "PI/4";
// Sine and cosine: the angle in half-turns from &B (degrees), a quarter turn
// added for the cosine, then the repeating-decimal step; the special angles.
constexpr const char TPL_DEGREES[] = "&B/180";
constexpr const char TPL_QUARTER_TURN[] = "&F+0.5";
constexpr const char TPL_QUT_B[] = "QUT(&B)";
constexpr const char TPL_SQRT2_HALF[] = "SQR2/2";
constexpr const char TPL_SQRT3_HALF[] = "SQR3/2";
