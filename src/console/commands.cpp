// Command interpreter: recognises the short commands of a normalised line
// (repeat, conversion, decimal shift, input, print, write, factorise, compare,
// display mode, currency pair), and runs every other line as a statement,
// turning its result code into actions on the replay state of the input loop.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "../expr/expr.h"
#include "../expr/messages.h"
#include "../factor/factor.h"
#include "command_messages.h"
#include "console.h"
#include "messages.h"

namespace {

constexpr int WORK_B = 26;  // scratch register of C. and Q.
constexpr int64_t INDEX_CAP = 1000000000;  // digit runs are capped above every valid index

bool is_capital(char c) { return c >= 'A' && c <= 'Z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads the run of decimal digits at `text` into *value, capped at INDEX_CAP
// so that a long run cannot overflow. Returns the number of digits read.
int read_digits(const char *text, int64_t *value) {
    int k = 0;
    int64_t v = 0;
    while (is_digit(text[k])) {
        if (v < INDEX_CAP) v = v * 10 + (text[k] - '0');
        if (v > INDEX_CAP) v = INDEX_CAP;
        k++;
    }
    *value = v;
    return k;
}

// ---------------------------------------------------------------- repeat

// True when f is a whole number that fits an int32 (its value in *out): a
// denominator of 1 and no non-zero fraction limb.
bool whole_int32(Fraction *f, int32_t *out) {
    BigNum *n = f->num;
    BigNum *d = f->den;
    if (top_used(d) != 1 || limb(d, 0) != 1 || d->frac_limbs > 0) return false;
    int frac = n->frac_limbs > 0 ? n->frac_limbs : 0;
    for (int k = 0; k < frac && k < n->used; k++)
        if (limb(n, k) != 0) return false;
    if (frac > 0 && shift_limbs(n, -frac) != STATUS_OK) return false;
    n->frac_limbs = 0;
    if (d->sign < 0) n->sign = static_cast<int8_t>(-n->sign);
    return get_int32(n, out) == STATUS_OK;
}

// X~n, X~Y: sets the pass count of the captured block and starts its replay.
// The count is the whole digit run after '~', or the value of the variable
// (or element) Y; an empty count or 0 gives one pass, as the replay always
// makes one. A count that is not a whole number from 0 to 2^31 - 1 is
// refused with a message and nothing is replayed. Returns 0, or
// CODE_INTERRUPTED (nothing replayed) when Ctrl-C came while the count was read.
int repeat_command(const char *line) {
    calc.repeat_count = 0;
    int32_t count = 0;
    bool ok = true;
    if (is_capital(line[2])) {
        Fraction *w = &reg_frac[WORK_B];
        int used = read_value(line + 2, w);
        ok = line[2 + used] == 0 && whole_int32(w, &count) && count >= 0;
        if (interrupted()) return CODE_INTERRUPTED;
    } else {
        int64_t v = 0;
        int k = 2;
        while (is_digit(line[k]) && v <= INT32_MAX) v = v * 10 + (line[k++] - '0');
        ok = line[k] == 0 && v <= INT32_MAX;
        count = static_cast<int32_t>(ok ? v : 0);
    }
    if (!ok) {
        fputs(MSG_REPEAT_COUNT, stdout);
        return 0;
    }
    calc.repeat_count = count <= 0 ? 1 : count;
    calc.replay_position = 0;
    return 0;
}

// ------------------------------------------------------------ conversion

// Element index of the reference after a command letter (`ref` points at the
// letter): the run of digits after it, or -1 (the whole variable) without
// digits. Anything else after the letter, a `-` included, is not part of the
// reference, as read_value sees it too.
int64_t element_index(const char *ref) {
    int64_t v = 0;
    return read_digits(ref + 1, &v) > 0 ? v : -1;
}

// Truncates f toward zero to an integer. A fixed-point numerator drops its
// fraction limbs (the denominator stays); otherwise the numerator is divided
// by the denominator, which becomes 1. Returns false, leaving f unchanged,
// when the denominator is zero or the long division finds no room.
bool integer_part(Fraction *f) {
    BigNum *n = f->num;
    BigNum *d = f->den;
    if (n->frac_limbs > 0 && n->frac_limbs == fixed_point_limbs) {
        (void)shift_limbs(n, -fixed_point_limbs);  // a downward shift cannot fail
        n->frac_limbs = 0;
        return true;
    }
    if (bn_is_zero(d)) return false;
    if (d->sign < 0) {
        n->sign = static_cast<int8_t>(-n->sign);
        d->sign = 1;
    }
    bool small = d->used <= 1 || (d->used == 2 && limb(d, 1) <= 20);
    if (small) {
        int64_t v = limb(d, 0) + (d->used == 2 ? static_cast<int64_t>(limb(d, 1)) * LIMB_BASE : 0);
        (void)div_small(n, v);  // v is non-zero and within range; the remainder is dropped
    } else {
        if (divide(nullptr, nullptr, n, d) != STATUS_OK) return false;
    }
    bn_set_one(d);
    return true;
}

// C.X / C.Xn (integer part) and Q.X / Q.Xn (recognise a repeating decimal).
// Returns 0, or CODE_INTERRUPTED (nothing stored) after Ctrl-C.
int convert_command(const char *ref, bool integer) {
    if (!is_capital(ref[0])) return 0;
    int64_t index = element_index(ref);
    Fraction *w = &reg_frac[WORK_B];
    read_value(ref, w);
    // An index beyond every storage reads as 0 ("valRR") and its store is
    // refused by store_value's own check ("val-ovf").
    if (index > INT32_MAX) index = INT32_MAX;
    if (integer) {
        bool done = integer_part(w);
        if (interrupted()) return CODE_INTERRUPTED;
        if (!done) return 0;
    } else {
        to_fraction(w);
        if (interrupted()) return CODE_INTERRUPTED;
    }
    (void)store_value(ref[0] - 'A', static_cast<int>(index), w);  // store_value reports a refusal itself
    return 0;
}

// Z.Xn multiplies X by 10^n (its numerator); Z.X-n divides it by 10^n: the
// value's denominator takes the factor and the stored value is reduced. A
// shift without room prints "err " and leaves X as it was. Returns 0, or
// CODE_INTERRUPTED after Ctrl-C, X then unchanged.
int decimal_shift_command(const char *ref) {
    if (!is_capital(ref[0])) return 0;
    int reg = ref[0] - 'A';
    bool down = ref[1] == '-';
    int64_t n = 0;
    read_digits(ref + (down ? 2 : 1), &n);
    if (!down) {
        // Shifted in a work integer and copied back only when no Ctrl-C
        // stopped the shift half-way. The room is X's own: the work integer
        // may be longer than a numerator whose areas were exchanged.
        BigNum *x = reg_num[reg], *shifted = work_int(5);
        if (!bn_is_zero(x) && int64_t(x->capacity) < int64_t(x->used) + n / 8 + 1) {
            fputs(MSG_ERR, stdout);
            return 0;
        }
        (void)copy(shifted, x);  // no numerator is longer than a work integer
        (void)shift_decimal(shifted, static_cast<int32_t>(n));  // room checked above
        if (interrupted()) return CODE_INTERRUPTED;
        (void)copy(x, shifted);  // room checked above
        return 0;
    }
    Fraction *w = &reg_frac[WORK_B];
    char name[2] = {ref[0], 0};
    read_value(name, w);
    Status rc = shift_decimal(w->den, static_cast<int32_t>(n));
    if (interrupted()) return CODE_INTERRUPTED;
    if (rc != STATUS_OK) {
        fputs(MSG_ERR, stdout);
        return 0;
    }
    (void)store_value(reg, -1, w);  // store_value reports a refusal itself
    return 0;
}

// I.X / I.Xn / I.X-n ["prompt]: reads one console line (even while a script
// runs), evaluates it as typed and stores the value into X or element Xn. A
// negative index is refused only after its answer line has been read, so that
// the answer is never taken for the next command. Returns 0, or
// CODE_INTERRUPTED (nothing stored) when Ctrl-C dropped the answer or stopped
// its evaluation.
int input_command(const char *ref) {
    if (!is_capital(ref[0])) return 0;
    int k = 1;
    bool negative = ref[k] == '-';
    if (negative) k++;
    int64_t index = -1;
    int digits = read_digits(ref + k, &index);
    k += digits;
    if (digits == 0) {
        index = -1;
        negative = false;  // a lone `-` names no element
    }
    const char *prompt = ref[k] == '"' ? ref + k + 1 : "";
    bool editing = terminal_editing();
    if (!editing) printf("%s", prompt);
    fflush(stdout);

    if (!calc.line_buffer || calc.line_buffer_size <= 22) return 0;
    char *text = calc.line_buffer + 20;
    size_t room = calc.line_buffer_size - 20;
    size_t limit = static_cast<size_t>(8) * static_cast<size_t>(precision);
    if (limit < room) room = limit;
    if (room > 0x7fffffff) room = 0x7fffffff;
    if (editing) {
        // The editor shows the prompt itself, so that redrawing keeps it.
        int got = terminal_read_line(prompt, text, room);
        if (got == TERMINAL_INTERRUPTED) return CODE_INTERRUPTED;  // Ctrl-C abandons the line
        if (got == TERMINAL_TOO_LONG) {
            printf(MSG_LINE_TOO_LONG, terminal_last_length(), room - 1);
            return 0;  // refused whole: nothing stored
        }
        if (got < 0) return 0;  // end of input: nothing stored
    } else {
        if (!fgets(text, static_cast<int>(room), stdin)) return 0;  // end of input: nothing stored
        size_t len = strlen(text);
        if (len > 0 && text[len - 1] == '\n') {
            text[len - 1] = 0;
        } else if (!feof(stdin)) {
            // An answer longer than the room is read to its end and refused whole.
            size_t total = len;
            int c;
            while ((c = getchar()) != '\n' && c != EOF) total++;
            if (total > len) {
                printf(MSG_LINE_TOO_LONG, total, room - 1);
                return 0;
            }
        }
    }

    // The answer is evaluated into work fraction 0, the level-0 record that
    // no evaluation at level 1 or deeper touches; the work integers are
    // scratch of the integer operators and the series.
    Fraction *answer = &work_frac[0];
    fraction_init(answer);
    eval_certain(text, answer, 1, false);
    if (interrupted()) return CODE_INTERRUPTED;
    if (negative) {
        fputs(MSG_NEGATIVE_INDEX, stdout);
        return 0;
    }
    // Indices beyond every storage are refused by store_value's own check.
    if (index > INT32_MAX) index = INT32_MAX;
    (void)store_value(ref[0] - 'A', static_cast<int>(index), answer);  // store_value reports a refusal itself
    return 0;
}

// F.expr: the prime factors of the numerator and, unless it is 0 or 1, of
// the denominator. The value is evaluated into work fraction 0 (see
// input_command): the series use &E as scratch, which held it before.
// Returns 0; CODE_INTERRUPTED when Ctrl-C stopped the evaluation. A Ctrl-C
// during the search itself stops it with what was found listed (the search
// answers it); the flag then stays set for the input loop, which drops a
// running script at its next line.
int factorise_command(const char *text) {
    Fraction *w = &work_frac[0];
    fraction_init(w);
    eval_certain(text, w, 1, true);
    if (interrupted()) return CODE_INTERRUPTED;
    BigNum *n = w->num;
    BigNum *d = w->den;
    bool negative = n->sign < 0 && !bn_is_zero(n);
    factor_to_text(n);
    fputs(negative ? "- " : "  ", stdout);
    printf("%s", output_text);
    bool unit = bn_is_zero(d) || (d->used == 1 && limb(d, 0) == 1 && d->frac_limbs == 0);
    if (unit) {
        fputs("\n", stdout);
        return 0;
    }
    factor_to_text(d);
    printf(" / %s\n", output_text);
    return 0;
}

// ---------------------------------------------------------------- compare

uint64_t magnitude64(int64_t v) {
    return v < 0 ? static_cast<uint64_t>(-(v + 1)) + 1 : static_cast<uint64_t>(v);
}

// Limb k of |n| * m, the columns asked for in order from the least
// significant up with the carry kept in *carry; positions below 0 are the
// zero limbs of an alignment, and limbs of n from `used` up read as 0.
uint64_t scaled_column(BigNum *n, uint64_t m, int k, int used, unsigned __int128 *carry) {
    if (k < 0) return 0;
    uint64_t l = k < used ? static_cast<uint32_t>(limb(n, k)) : 0;
    unsigned __int128 t = *carry + static_cast<unsigned __int128>(l) * m;
    *carry = t / LIMB_BASE;
    return static_cast<uint64_t>(t % LIMB_BASE);
}

// Compares |a| * ma with |b| * mb, fraction limbs aligned, without storing
// the products: their limbs are generated from the least significant up and
// the highest position where they differ decides. ma, mb < 2^64 add at most
// three limbs to a product. Returns 1, 0 or -1.
int compare_scaled(BigNum *a, uint64_t ma, BigNum *b, uint64_t mb) {
    int fa = a->frac_limbs > 0 ? a->frac_limbs : 0;
    int fb = b->frac_limbs > 0 ? b->frac_limbs : 0;
    int ua = a->defined == 1 ? a->used : 0;
    int ub = b->defined == 1 ? b->used : 0;
    if (ua > a->capacity) ua = a->capacity;
    if (ub > b->capacity) ub = b->capacity;
    int scale = fa > fb ? fa : fb;
    int lead_a = scale - fa;  // zero limbs below a's aligned product
    int lead_b = scale - fb;
    int len_a = lead_a + ua + 3;
    int len_b = lead_b + ub + 3;
    int len = len_a > len_b ? len_a : len_b;
    unsigned __int128 carry_a = 0;
    unsigned __int128 carry_b = 0;
    int result = 0;
    for (int j = 0; j < len; j++) {
        uint64_t va = scaled_column(a, ma, j - lead_a, ua, &carry_a);
        uint64_t vb = scaled_column(b, mb, j - lead_b, ub, &carry_b);
        if (va != vb) result = va > vb ? 1 : -1;
    }
    return result;
}

// Sign of the value of variable `reg`: -1, 0 or 1 (numerator sign times
// denominator sign; a numerator of zero gives 0).
int value_sign(int reg) {
    BigNum *n = reg_num[reg];
    if (n->defined != 1 || bn_is_zero(n)) return 0;
    int s = n->sign < 0 ? -1 : 1;
    BigNum *d = var_den[reg];
    bool negative_den = d->used > 0 ? d->sign < 0 : reg_den[reg]->small_den < 0;
    return negative_den ? -s : s;
}

// Prints "X<Y", "X=Y" or "X>Y" for a comparison result c (-1, 0, 1).
void print_comparison(char x, int c, char y) {
    snprintf(output_text, static_cast<size_t>(output_text_size), "%c%c%c", x, c < 0 ? '<' : c > 0 ? '>' : '=', y);
    printf("%s\n", output_text);
}

// O.XsY: prints X<Y, X=Y or X>Y comparing the signed values of the two
// variables (numerator over denominator). Returns 0, or CODE_INTERRUPTED
// (nothing printed) when Ctrl-C stopped the comparison of long values.
int compare_command(const char *text) {
    char x = text[0];
    if (x == 0) return 0;
    char y = text[1] == 0 ? 0 : text[2];
    if (!is_capital(x) || !is_capital(y)) return 0;
    int rx = x - 'A';
    int ry = y - 'A';
    int sx = value_sign(rx);
    int sy = value_sign(ry);
    if (sx != sy || sx == 0) {
        print_comparison(x, sx < sy ? -1 : sx > sy ? 1 : 0, y);
        return 0;
    }
    int c;
    if (var_den[rx]->used > 0 || var_den[ry]->used > 0) {
        // A denominator beyond the 64-bit window: compared in full.
        BigNum *dx = var_den[rx], *dy = var_den[ry];
        BigNum *wx = work_int(4), *wy = work_int(5);
        if (dx->used == 0) {
            set_int64(wx, magnitude64(reg_den[rx]->small_den) ? reg_den[rx]->small_den : 1);
            dx = wx;
        }
        if (dy->used == 0) {
            set_int64(wy, magnitude64(reg_den[ry]->small_den) ? reg_den[ry]->small_den : 1);
            dy = wy;
        }
        Status cmp = compare_cross(reg_num[rx], dy, reg_num[ry], dx, &c);
        if (interrupted()) return CODE_INTERRUPTED;
        if (cmp != STATUS_OK) return 0;  // no room to compare: nothing printed
    } else {
        uint64_t den_x = magnitude64(reg_den[rx]->small_den);
        uint64_t den_y = magnitude64(reg_den[ry]->small_den);
        c = compare_scaled(reg_num[rx], den_y, reg_num[ry], den_x);
    }
    // Both values have the same sign: for negative ones the larger
    // magnitude is the smaller value.
    print_comparison(x, sx < 0 ? -c : c, y);
    return 0;
}

// V.F fraction display, V.R decimal display, V.n decimal display. Returns 0.
int display_command(const char *text) {
    if (text[0] == 'F') {
        display_mode = -1;
        fputs(MSG_DISPLAY_FRACTION, stdout);
    } else if (text[0] == 'R') {
        display_mode = fixed_point_limbs;
        fputs(MSG_DISPLAY_DECIMAL, stdout);
    } else {
        // strtol saturates where atoi would overflow; the mode is clamped to
        // the digits a number can have.
        long v = strtol(text, nullptr, 10);
        long most = 8L * precision;
        display_mode = v < 0 ? 0 : static_cast<int>(v > most ? most : v);
    }
    return 0;
}

// ------------------------------------------------------------- currency

char pair_first = 0;  // 0: no reference pair stored
char pair_second = '_';

struct Currency {
    const char *code;
    char letter;
};
const Currency currencies[] = {{"EUR", 'E'}, {"USD", 'U'}, {"JPY", 'J'}, {"XAU", 'X'}};
constexpr char UNKNOWN_CURRENCY = '_';

// Letter of the three-letter code at `text`, or 0 when it is not in the table.
char currency_letter(const char *text) {
    for (const Currency &c : currencies)
        if (strncmp(text, c.code, 3) == 0) return c.letter;
    return 0;
}

char lower(char c) { return is_capital(c) ? static_cast<char>(c + 32) : c; }

// T.[-]AAA[/]BBB: stores a reference pair, or prints how a later pair chains
// to it; T. alone forgets the pair. Returns 0.
int currency_command(const char *text) {
    if (text[0] == 0) {
        pair_first = 0;
        pair_second = UNKNOWN_CURRENCY;
        return 0;
    }
    bool swap = text[0] == '-';
    if (swap) text++;
    char a = currency_letter(text);
    if (a != 0) {
        text += 3;
    } else {
        a = UNKNOWN_CURRENCY;
    }
    if (*text == '/' || *text == ',') text++;
    char b = currency_letter(text);
    if (b == 0) b = UNKNOWN_CURRENCY;
    if (swap) {
        char t = a;
        a = b;
        b = t;
    }
    if (pair_first == 0) {
        pair_first = a;
        pair_second = b;
        return 0;
    }
    char r1 = pair_first;
    char r2 = pair_second;
    if (b == r1) {
        printf("%c,%c,%c\n", a, b, r2);
    } else if (a == r2) {
        printf("%c,%c,%c\n", r1, r2, b);
    } else if (a == r1) {
        printf("%c,%c,%c\n", a, lower(b), lower(r2));
    } else if (b == r2) {
        printf("%c,%c,%c\n", lower(a), lower(r1), r2);
    }
    return 0;
}

// Carries out the result code of the statement line `text` on the replay
// state. A WHILE(...)DO that held replays the block and then runs its line
// again: a script steps its cursor back over the line, the console keeps it.
// Inside a replay at the console it restarts the block, as IF(...)DO does.
// CODE_INTERRUPTED is handed on untouched, and so by the listing of &E.
int act_on_code(int code, const char *text) {
    switch (code) {
    case CODE_BREAK:
        calc.replay_position = -1;
        calc.current_line = calc.line_buffer;
        return code;
    case CODE_WHILE_DO:
        if (calc.script_cursor && calc.script_cursor - calc.script_buffer >= calc.last_line_length)
            calc.script_cursor -= calc.last_line_length;
        else if (!calc.script_cursor && calc.replay_position < 0)
            repeat_while_line(text);
        calc.replay_position = 0;
        calc.repeat_count = 1;
        return calc.last_line_length;
    case CODE_IF_DO:
        calc.replay_position = 0;
        calc.repeat_count = 1;
        return code;
    case CODE_LISTED_E:
        return list_value("&E", stdout) == CODE_INTERRUPTED ? CODE_INTERRUPTED : code;
    default:
        return code;
    }
}

// The commands named by a letter and a full stop that take the rest of the
// line (also after a W. that does not name a variable).
struct LetterCommand {
    char letter;
    int (*run)(const char *text);  // 0, or CODE_INTERRUPTED
};
constexpr LetterCommand DOT_COMMANDS[] = {
    {'F', factorise_command},
    {'O', compare_command},
    {'V', display_command},
    {'T', currency_command},
};

}  // namespace

int run_command(char *line) {
    assert(line);
    begin_statement();
    if (strcmp(line, "HELP") == 0) {
        print_full_help();
        return 0;
    }
    if (strcmp(line, "QUIT") == 0 || strcmp(line, "EXIT") == 0) {
        exit_calculator(0);
        return 0;  // fuzz builds: the input loop sees the session end
    }
    int p = 0;
    if (line[0] == ' ') {
        while (line[p] == ' ') p++;
    } else if (is_capital(line[0]) && line[1] == '~') {
        return repeat_command(line);
    }

    if (line[p] != 0 && (line[p + 1] == '.' || line[p + 1] == ':')) {
        char c = line[p];
        char sep = line[p + 1];
        const char *rest = line + p + 2;
        if ((c == 'C' || c == 'Q') && sep == '.') return convert_command(rest, c == 'C');
        if (c == 'Z' && sep == '.') return decimal_shift_command(rest);
        if (c == 'I') return input_command(rest);
        if (c == 'P') return list_value(rest, stdout);
        if (c == 'W' && sep == '.') {
            if (is_capital(rest[0])) {
                int code = list_value(rest, output_file);
                output_written();
                return code;
            }
            p += 2;
        }
        if (line[p] != 0) {
            const char *after = line + p + 2;
            for (const LetterCommand &command : DOT_COMMANDS) {
                if (line[p] == command.letter && line[p + 1] == '.') return command.run(after);
            }
            if (line[p] == 'L' && line[p + 1] == ':') {
                if (run_nested_script(after) == CODE_INTERRUPTED) return CODE_INTERRUPTED;
                p += static_cast<int>(strlen(line + p));
            }
        }
    }

    if (strncmp(line + p, "LC:", 3) == 0) {
        if (load_table(line + p + 3) == CODE_INTERRUPTED) return CODE_INTERRUPTED;
        p += static_cast<int>(strlen(line + p));
    } else if (strncmp(line + p, "WC:", 3) == 0) {
        if (write_table(line + p + 3) == CODE_INTERRUPTED) return CODE_INTERRUPTED;
        p += static_cast<int>(strlen(line + p));
    }

    if (line[p] == '#' && run_setting(line + p)) return 0;

    int code = 0;
    execute_statement(line + p, &code);
    return act_on_code(code, line + p);
}
