// Fixed message texts of the expression subsystem: evaluator, variables and
// elements, statements and the equation solver.
#pragma once

#define MSG_LEVEL_OVF "((ovf))"
// A product or result that does not fit; also the console's text for the
// number core's STATUS_NO_ROOM refusals.
#define MSG_PROD_OVF "prod_ovf\n"
#define MSG_GROUP_OVF "((ovf:%.*s:lc:end,i,s,e,%d:%d,%d,%d))\n"
#define MSG_SYNTAX "syntax_error_%s \n"
#define MSG_ERR "err "
#define MSG_VAL_RANGE "valRR \n"
#define MSG_VAL_LARGE "val-large \n"
#define MSG_VAL_OVF "val-ovf \n"
#define MSG_NO_SOLUTIONS "No solutions.\n"
#define MSG_NOT_LINEAR "not linear\n"
#define MSG_NOT_QUADRATIC "not quadratic\n"
#define MSG_TEXT_OVF "txt-ovf \n"
#define MSG_DIV_ZERO "{div0}\n"
#define MSG_PLACES_CERTAIN "{only %d places certain}\n"
#define MSG_NOTHING_CERTAIN "{no place certain: value not listed}\n"
#define MSG_UNKNOWN_NAME "unknown name %.*s: variables are the single letters A-Z\n"
