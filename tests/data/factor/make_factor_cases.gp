\\ Writes factor_cases.txt: numbers and their factorisations as the calculator
\\ prints them (factors ascending, "p^e" joined by " * ", " P" after a lone
\\ prime), computed by gp's own factor(). Run once from this directory:
\\     gp -q make_factor_cases.gp < /dev/null
\\ Every line is "group number = text"; the groups are read by
\\ tests/unit/factor_cases_test.cpp.
default(parisizemax, 10^9);
out = "factor_cases.txt";
setrand(20260515);
text(n) = {
  my(f = factor(n), s = "");
  for (i = 1, #f~,
    if (i > 1, s = Str(s, " * "));
    s = Str(s, f[i, 1]);
    if (f[i, 2] > 1, s = Str(s, "^", f[i, 2])));
  if (#f~ == 1 && f[1, 2] == 1, s = Str(s, " P"));
  s;
}
put(group, n) = write(out, group, " ", n, " = ", text(n));
\\ A random prime of d digits.
rp(d) = nextprime(10^(d - 1) + random(9 * 10^(d - 1)));

write(out, "# Made by make_factor_cases.gp with gp ", Strprintf("%d.%d.%d", version()[1], version()[2], version()[3]), "; do not edit.");

\\ Balanced semiprimes, two primes of d digits each.
forstep (d = 6, 27, 3, put("semiprime", rp(d) * rp(d)));
put("semiprime", rp(25) * rp(26));
\\ Unbalanced: a small factor beside a large one (rho, then the curves).
put("unbalanced", rp(11) * rp(30));
put("unbalanced", rp(14) * rp(36));
put("unbalanced", rp(16) * rp(40));
put("unbalanced", rp(18) * rp(30));
\\ Prime powers, and powers next to other primes.
put("power", rp(12)^2);
put("power", rp(9)^3);
put("power", rp(7)^5);
put("power", rp(20)^2);
put("power", 3^40);
put("power", rp(6)^2 * rp(8)^3);
put("power", rp(16)^2 * rp(20));
put("power", rp(11)^3 * rp(15));
\\ Carmichael numbers (those above one limb of the calculator, 10^8): known
\\ ones, then three primes 6k+1, 12k+1, 18k+1, up to 48 digits.
foreach ([321197185, 5394826801, 232250619601, 9746347772161], c, put("carmichael", c));
{
  my(found = 0, k = 10^6);
  while (found < 4,
    k++;
    if (isprime(6*k + 1) && isprime(12*k + 1) && isprime(18*k + 1),
      put("carmichael", (6*k + 1) * (12*k + 1) * (18*k + 1));
      found++;
      k = k * 1000));
}
\\ Repunits (10^n - 1) / 9.
foreach ([9, 11, 17, 19, 23, 25, 29, 31, 37, 41, 43, 47], n, put("repunit", (10^n - 1) / 9));
\\ Two primes just above 100000 whose rho sequences close in the same batch
\\ of differences, so that the batch gcd is the number itself.
{
  foreach ([[100003, 100189], [100043, 100109], [100049, 100103], [100057, 100151],
            [100069, 100271], [100103, 100447], [100109, 100357], [100129, 100169]], pq,
    put("batchhit", pq[1] * pq[2]));
}
\\ Products of three and more large primes.
put("many", rp(12) * rp(13) * rp(14));
put("many", rp(15) * rp(15) * rp(16));
put("many", rp(10) * rp(11) * rp(12) * rp(13));
put("many", rp(14) * rp(15) * rp(15) * rp(16) * rp(17));
put("many", prod(i = 1, 30, rp(7)));
put("many", 2^128 + 1);
