// Names shared by every layer: the work registers, the evaluation levels and
// the budgets derived from them, the marks of the packed element format, and
// the result codes statements hand to the command interpreter.
#pragma once
#include <cstdint>

// ---- registers: 0..25 are the variables A..Z, 26..29 the work registers
// that expressions name &B, &C, &D and &E.
constexpr int REG_B = 26, REG_C = 27, REG_D = 28, REG_E = 29;

// Register of the work-register letter after `&` ('B'..'E'), or -1.
constexpr int work_register_of(char letter) {
    return letter >= 'B' && letter <= 'E' ? REG_B + (letter - 'B') : -1;
}

// ---- levels: every evaluation runs at a level 0 .. MAX_LEVEL - 1 and uses
// the work fractions from its level up (16 of them, so up to L + 3 stays in
// the pool at the deepest level that still reads a power's exponent).
constexpr int MAX_LEVEL = 15;
// Deepest level at which a root starts its iteration, and at which the
// cosine and pi still start their series; deeper calls are refused.
constexpr int ROOT_LEVEL_LIMIT = MAX_LEVEL - 3;
constexpr int COS_LEVEL_LIMIT = MAX_LEVEL - 1;
constexpr int PI_LEVEL_LIMIT = MAX_LEVEL;

// ---- the packed element format. An element of width w occupies w limbs of
// its variable's element storage, most significant limb first:
//
//   slot 0        slot 1 ... slot w-2         slot w-1
//   [ -den | n ]  [ n ... ]  [ frac | n ]     [ sign | n ]
//
// - slot 0 holds -den (a one-limb denominator, -199999999..-1) instead of
//   numerator limbs when the value is a fraction n/den;
// - a fixed-point value adds frac * FRAC_UNIT (5 bits above bit 27) to
//   slot w - 2, the count of its fraction limbs;
// - a negative value adds NEG_MARK (bits 28..30) to the last slot.
// Limbs are below 10^8 < 2^27, so the marks never meet a digit.
constexpr int32_t NEG_MARK = 0x70000000;
constexpr uint32_t FRAC_UNIT = 0x08000000;
constexpr int MAX_FRAC_MARK = 31;  // largest count the 5 mark bits hold

// ---- result codes of a statement line, acted on by the command interpreter.
constexpr int CODE_BREAK = -1;     // BREAK after a true condition: the replay stops
constexpr int CODE_IF_DO = 29;     // IF(...)DO: the captured block runs again
constexpr int CODE_WHILE_DO = 59;  // WHILE(...)DO: the block, then the line again
constexpr int CODE_LISTED_E = 71;  // the value went to &E and is to be listed

// ---- the largest divisor div_small takes as a machine integer.
constexpr int64_t DIV_SMALL_LIMIT = 92233720368LL;
