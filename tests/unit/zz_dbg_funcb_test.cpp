#include <gtest/gtest.h>
#include "expr/expr.h"
#include "factor/gmp_api.h"
#include "functions/functions.h"
static std::string show(Fraction *f) { static char o[100000]; char *p=o; p+=format_bignum(f->num,p); *p++='/'; p+=format_bignum(f->den,p); char buf[100]; snprintf(buf,100," [frac %d used %d / den used %d]", f->num->frac_limbs, f->num->used, f->den->used); return std::string(o)+buf; }
TEST(DbgSeries, X) {
  if (!gmp_ready()) bind_gmp();
  pool_start(200);
  fixed_point_limbs = 25;
  Fraction *f=&work_frac[2]; fraction_init(f);
  set_int64(f->num, 1); set_int64(f->den, 5);
  exp_log_series(f, 1, 2);
  printf("res %s\n", show(f).c_str());
}
