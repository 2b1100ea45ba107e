// Fixed message texts of the number core, printed character for character.
#pragma once

#define MSG_CROSS_SCALE "((cs))"
#define MSG_PROD_OVF "prod_ovf\n"
#define MSG_NO_GMP "no: gmp-10.dll \n"
#define MSG_PERIOD_FAIL "gyr-byr"
