// The fuller help of the HELP line: every command and setting, every function
// with its argument form and units, the largest fixed-point setting of the
// running preset, and what the short messages mean.
#include "console.h"
#include "messages.h"

namespace {

const char *const COMMANDS =
    "Statements (several on a line, separated by commas):\n"
    "  A=expr        assign; A5=expr or A[expr]=expr set an element; 2A=expr sets A to expr/2\n"
    "  expr          a bare expression is listed as &E\n"
    "  .+X:expr      solve expr = 0 (linear or quadratic) for X\n"
    "  X$=text       text variable; X$ in a later line is replaced by the text\n"
    "  IF(a<b)stmt   also > and =; IF(...)DO repeats the captured block, IF(...)BREAK stops it\n"
    "  WHILE(a<b)DO  runs the captured block, then this line again\n"
    "  {  ...  }     capture lines as a block ({A=A+1} on one line too); X~n replays it\n"
    "                n times (X~Y: Y times; n a whole number below 2^31, 0 or none: once)\n"
    "Commands:\n"
    "  P.expr        print          W.X    print to the output file (#FW)\n"
    "  F.expr        factorise      I.X\"prompt  read a value for X from the console\n"
    "  C.X           integer part   Q.X    a repeating decimal back to a fraction\n"
    "  Z.Xn, Z.X-n   X times 10^n, X divided by 10^n\n"
    "  O.X,Y         compare the values of X and Y (prints X<Y, X=Y or X>Y)\n"
    "  V.F           list values as fractions; V.R or V.n as decimals\n"
    "  T.AAA/BBB     currency pair (EUR USD JPY XAU)\n"
    "  L:file        run a script file, then return to the console\n"
    "  LC:file       load a comma-separated table: row r, column c into element r of B, C, ...\n"
    "                (numbers such as -1.5 or 4e2; any other cell loads nothing)\n"
    "  WC:Ln,file    write rows 1..n of the elements of A..L as a table\n"
    "  File names keep their case; a file not found is looked for in capital letters.\n"
    "Settings:\n"
    "  #FF:n         n decimal places for inexact values\n"
    "  #FN:n, #NF:n  the same, with elements wide enough to hold them\n"
    "  #NN:n         element width, n digits; #A:n ... #Z:n for one variable, n limbs\n"
    "  #FW[:file]    open the output file (save.txt); #FC closes it\n"
    "  #FR[:file]    open an input file (kept for old scripts: nothing reads it)\n"
    "  #RON, #ROF    accepted and ignored (kept for old scripts)\n"
    "  #RUN:file     continue with the lines of a script file\n"
    "  #X:, QUIT, EXIT  leave (also the end of input, Ctrl-D)\n";

const char *const FUNCTIONS =
    "Functions (angles in degrees unless R (radians) or P (multiples of pi) follows the name):\n"
    "  SIN(x) COS(x) TAN(x)   SINR(x) radians, SINP(x) multiples of pi, SIND(x) degrees\n"
    "  ATAN(x)       arctangent, answered in radians\n"
    "  ASIN(x) ACOS(x)  inverse sine and cosine (-1 <= x <= 1), in radians\n"
    "  SINH(x) COSH(x) TANH(x)  hyperbolic sine, cosine, tangent\n"
    "  ASINH(x) ACOSH(x) ATANH(x)  their inverses (ACOSH: x >= 1; ATANH: -1 < x < 1)\n"
    "  LN(x) LOG(x)  natural logarithm; LOG10(x), LN2(x): logarithm to the base written after it\n"
    "  SQR(x) SQRT(x)  square root;  x^y  power (x^(1/3) the cube root)\n"
    "  EXP, E'       the constant e;  PI  pi;  TIME  seconds since 1970\n"
    "  INT(x)        integer part;  ROU(x) rounded;  QUT(x) as an exact fraction;  DSUM(n) digit sum\n"
    "  SUM[A1:A9] AVG QTY VAR SDV   statistics over a block of elements\n"
    "  COV[A1:A9,B] COR[A1:A9,B]    covariance and correlation against the elements of B\n"
    "  ITG(K,1,10,expr) PRD(K,1,10,expr)   sum and product over K from 1 to 10\n"
    "Operators: + - * / ^  n!  n!!  nCr  nPr  a%b aMb (remainder)  aGb (gcd)  aLb (lcm)  |x|\n";

const char *const MESSAGES =
    "Short messages:\n"
    "  VF_OK, VR_OK  display set to fractions, to decimals\n"
    "  valRR         an element that does not exist reads as 0\n"
    "  val-ovf       a value or element does not fit its storage; not stored\n"
    "  val-large     a value too long for the variable; not stored\n"
    "  prod_ovf      a product too long for the precision; the result is 0\n"
    "  {only n places certain}  the room ran out before every place was sure;\n"
    "                the places listed are right\n"
    "  {no place certain: value not listed}  not even the integer part was sure\n"
    "  err           refused: a division or remainder by zero, a shift or power without room\n"
    "  {div0}        division by zero; the quotient is 0\n"
    "  q-neg         an even root of a negative number; the result is 0\n"
    "  {log0}, {log-neg}  logarithm of zero, of a negative number\n"
    "  {asin-dom} {acos-dom} {acosh-dom} {atanh-dom}  argument outside the domain; 0\n"
    "  ((ovf)), ((ovf:...))  expression nested too deeply; the group is skipped\n"
    "  syntax_error_text  the text from there on could not be read\n"
    "  No solutions.  the equation has no real solution\n"
    "  not linear, not quadratic  the equation is not of the form solved; X kept\n"
    "  unknown name ABC  three or more letters before ( that name no function;\n"
    "                variables are the single letters A-Z\n"
    "  txt-ovf       a text variable, or a line after expanding them, is too long; not run\n"
    "  unbalanced parentheses, character ... not allowed  the line is not run\n"
    "  line too long, statement too long  the line is not run\n"
    "  repeat count must be ...  the block is not replayed\n"
    "  table_cell_not_a_number, table_value_too_long, table_too_long, table_too_wide\n"
    "                the table is not loaded (or written); the place is named\n"
    "  file_not_found, file_protected  LC:, WC: could not open the file\n"
    "  file not found.  L:, #RUN: or the command line could not read the script\n"
    "  .. after a decimal  a fraction whose decimals go on for ever, cut\n";

}  // namespace

void print_full_help() {
    fputs(COMMANDS, stdout);
    fputs(FUNCTIONS, stdout);
    printf(MSG_HELP_PRECISION, precision * 8, 8 * (precision / 4));
    fputs(MSG_HELP_THREADS, stdout);
    fputs(MESSAGES, stdout);
    fputs(MSG_HELP_POINTER, stdout);
}
