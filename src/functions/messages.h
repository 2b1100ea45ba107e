// Fixed message texts of the function layer, printed character for character.
#pragma once

// Level refusals of the series (no further text follows them).
#define MSG_COS_OVF "{cos-ovf}\n"
#define MSG_EXP_OVF "{exp-ovf}\n"
#define MSG_PI_OVF "{pi-ovf}\n"
#define MSG_ROOT_OVF "q-ovf\n"
#define MSG_LOG_ZERO "{log0}"

// Block statistics and index loops report a malformed block or loop head,
// a depth without work fractions and a cell that cannot exist with the
// evaluator's own texts.
#include "../expr/messages.h"

// Series: arguments outside the real domain (no line end after the log one,
// as for the logarithm of zero, nor after those of the inverse sine and
// cosine and the inverse hyperbolic cosine and tangent).
#define MSG_LOG_NEG "{log-neg}"
#define MSG_ROOT_NEG "q-neg\n"
#define MSG_ASIN_DOMAIN "{asin-dom}"
#define MSG_ACOS_DOMAIN "{acos-dom}"
#define MSG_ACOSH_DOMAIN "{acosh-dom}"
#define MSG_ATANH_DOMAIN "{atanh-dom}"
