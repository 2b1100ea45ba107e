// File and setting commands: nested script runs (L:, #RUN:), element tables
// as comma-separated text (LC:, WC:), the output and input files (#FW, #FR,
// #FC), the fixed-point and element-width settings, and the exit command.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "../expr/expr.h"
#include "../engine/scratch.h"
#include "command_messages.h"
#include "console.h"
#include "messages.h"

namespace {

constexpr int TABLE_BYTES_PER_LIMB = 12;  // table text allowed per limb of element storage
constexpr int TABLE_REGISTER = 27;    // scratch register that receives each table value
constexpr int LAST_VARIABLE = 25;     // table columns beyond Z are ignored
constexpr int NAME_ROOM = 4200;       // room for a file name plus the temporary suffix

char temporary_name[NAME_ROOM];
char output_name[NAME_ROOM];  // of the open output file
bool output_failed = false;   // a failure of the open output file was reported

// Reports a failed write, flush or close of the file `name`, once per file.
void report_write_failure(const char *name, bool *reported) {
    if (*reported) return;
    *reported = true;
    printf(MSG_WRITE_FAILED, name, strerror(errno));
}

bool is_capital(char c) { return c >= 'A' && c <= 'Z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Leading decimal integer of `text` (optional sign; no digits gives 0),
// clamped to the int range instead of overflowing.
int leading_int(const char *text) {
    long v = strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// Limbs from a count of decimal digits, rounded up; the division truncates
// toward zero, so a negative count gives a count the range checks refuse.
int digits_to_limbs(int n) { return n > INT_MAX - 7 ? INT_MAX / 8 : (n + 7) / 8; }

// Element widths the packed element format and the storage can hold: the
// sign and scale marks need two slots, and a whole element must fit the
// element storage the registers are carved with.
bool width_ok(int w) { return w >= 2 && w <= precision / 10; }

// Fraction limbs a fixed-point value can carry and still leave room in a
// numerator for its integer part and the shifts of formatting.
bool fixed_limbs_ok(int f) { return f >= 1 && f <= precision / 4; }

// ------------------------------------------------------------- tables

// Largest element index variable `reg` can hold, as store_value places
// elements: within its element area, or within the numerator's larger area
// when the two can still be exchanged (the variable's own value then fits
// the element area). -1 when no element fits.
int64_t last_element(int reg) {
    BigNum *N = reg_num[reg];
    BigNum *E = reg_den[reg];
    int w = N->elem_width;
    if (w < 2) return -1;
    int64_t room = E->capacity;
    if (N->capacity > E->capacity && N->used < E->capacity) room = N->capacity;
    return (room - 1) / w - 1;
}

// Bytes of table text LC: accepts: a dozen bytes per limb of the storage of
// the columns B..Z (a cell's text needs at most about nine per limb of its
// value), bounded by the scratch arena that holds the text.
size_t table_limit() {
    size_t columns = LAST_VARIABLE;
    size_t limit = columns * (size_t(reg_den[1]->capacity) + size_t(reg_num[1]->capacity)) *
                   TABLE_BYTES_PER_LIMB;
    size_t room = scratch_room(core) * sizeof(uint32_t);
    room = room > 4096 ? room - 4096 : 0;  // leaves the parser some room
    return limit < room ? limit : room;
}

// Reads the whole file `f` into the scratch arena as zero-terminated text.
// Returns the text (its length in *len), or null when it cannot be read
// (*len 0) or is longer than `limit` bytes (*len limit + 1); nothing is
// taken from the arena then.
char *read_table_text(FILE *f, size_t limit, size_t *len) {
    *len = 0;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    if (S_ISREG(st.st_mode) && uintmax_t(st.st_size) > limit) {
        *len = limit + 1;
        return nullptr;
    }
    size_t mark = scratch_mark(core);
    char *text = reinterpret_cast<char *>(scratch_take(core, (limit + 2 + 3) / 4));
    if (!text) return nullptr;
    size_t got = fread(text, 1, limit + 1, f);
    if (ferror(f) || got > limit) {
        scratch_release(core, mark);
        *len = ferror(f) ? 0 : limit + 1;
        return nullptr;
    }
    text[got] = 0;
    *len = got;
    return text;
}

// last[c] := the row (from 1) of the last line with a value in column c
// (1 .. LAST_VARIABLE, counted by commas as the loader counts them), or 0.
void last_rows(const char *text, int64_t *last) {
    for (int c = 0; c <= LAST_VARIABLE; c++) last[c] = 0;
    int64_t row = 1;
    int col = 1;
    for (const char *p = text; *p; p++) {
        if (*p == ',') {
            col++;
        } else if (*p == '\n') {
            row++;
            col = 1;
        } else if (*p != ' ' && *p != '\t' && *p != '\r' && col <= LAST_VARIABLE) {
            last[col] = row;
        }
    }
}

// True when every value of the table falls on an element its variable can
// hold; otherwise reports the first column that cannot hold its rows.
bool table_fits(const char *text) {
    int64_t last[LAST_VARIABLE + 1];
    last_rows(text, last);
    for (int column = 1; column <= LAST_VARIABLE; column++) {
        if (last[column] > last_element(column)) {
            printf(MSG_TABLE_NO_ROOM, char('A' + column), static_cast<long long>(last[column]),
                   static_cast<long long>(last_element(column)));
            return false;
        }
    }
    return true;
}

char to_capital(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Writes the number of the table cell text[0..len) as a plain decimal
// literal ("-" and digits with an optional point) into out (room bytes): blanks
// around it, a sign, digits with an optional point, and a decimal exponent
// (4e2, 1.5E-3), which moves the point so that the value stays exact.
// Returns 1 for a number, 0 for an empty cell, -1 for any other text and -2
// when the literal would not fit `room`.
int cell_literal(const char *text, size_t len, char *out, size_t room) {
    size_t i = 0;
    while (i < len && is_blank(text[i])) i++;
    while (len > i && is_blank(text[len - 1])) len--;
    if (i == len) return 0;
    bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') i++;
    size_t whole = i;
    while (i < len && is_digit(text[i])) i++;
    size_t whole_end = i, frac = i, frac_end = i;
    if (i < len && text[i] == '.') {
        frac = ++i;
        while (i < len && is_digit(text[i])) i++;
        frac_end = i;
    }
    if (whole_end == whole && frac_end == frac) return -1;
    int64_t exponent = 0;
    if (i < len && (text[i] == 'e' || text[i] == 'E')) {
        i++;
        bool down = i < len && text[i] == '-';
        if (i < len && (text[i] == '-' || text[i] == '+')) i++;
        size_t digits = i;
        while (i < len && is_digit(text[i])) {
            if (exponent <= int64_t(room)) exponent = exponent * 10 + (text[i] - '0');
            i++;
        }
        if (i == digits) return -1;
        if (down) exponent = -exponent;
    }
    if (i != len) return -1;
    // The digits of the number without its point, and where the point goes.
    int64_t count = int64_t(whole_end - whole) + int64_t(frac_end - frac);
    int64_t point = int64_t(whole_end - whole) + exponent;
    int64_t need = 4 + count + (point > count ? point - count : 0) + (point < 0 ? -point : 0);
    if (need > int64_t(room)) return -2;
    auto digit = [&](int64_t k) { return k < int64_t(whole_end - whole) ? text[whole + k] : text[frac + k - (whole_end - whole)]; };
    size_t o = 0;
    if (negative) out[o++] = '-';
    if (point <= 0) {
        out[o++] = '0';
        out[o++] = '.';
        for (int64_t k = 0; k < -point; k++) out[o++] = '0';
        for (int64_t k = 0; k < count; k++) out[o++] = digit(k);
    } else {
        for (int64_t k = 0; k < point; k++) out[o++] = k < count ? digit(k) : '0';
        if (point < count) {
            out[o++] = '.';
            for (int64_t k = point; k < count; k++) out[o++] = digit(k);
        }
    }
    out[o] = 0;
    return 1;
}

// Whether `value` fits an element of variable `reg` as store_value packs it:
// its limbs within the width (one less when the denominator takes slot 0)
// and its fraction-limb mark within the mark bits.
bool fits_element(int reg, Fraction *value) {
    int w = reg_num[reg]->elem_width;
    BigNum *num = value->num;
    bool den_slot = top_used(value->den) > 1 || (top_used(value->den) == 1 && limb(value->den, 0) > 1);
    if (num->frac_limbs > MAX_FRAC_MARK || (w <= 2 && num->frac_limbs > 0)) return false;
    return top_used(num) <= w - (den_slot ? 1 : 0);
}

// One pass over the table text: every cell is read into the table register;
// with `store` false nothing is stored and the first cell that is not a
// number, or that no element can hold, is reported ("nothing loaded") and
// ends the pass; with `store` true each value is stored into its element
// (row r of column c is element r of the variable after A, B for column 1).
// An empty cell is allowed only last on its line (the comma WC: writes after
// every value) or as an empty line. Returns false when a cell was reported
// or Ctrl-C ended the pass (nothing more stored; the caller tests the flag).
bool table_pass(const char *text, size_t len, bool store) {
    Fraction *value = &reg_frac[TABLE_REGISTER];
    int64_t row = 1;
    int column = 1;
    size_t pos = 0;
    while (pos < len) {
        if (interrupted()) return false;
        size_t end = pos;
        while (end < len && text[end] != ',' && text[end] != '\n') end++;
        bool last_on_line = end >= len || text[end] == '\n';
        int kind = cell_literal(text + pos, end - pos, output_text, size_t(output_text_size) - 1);
        if (kind != 0 || !last_on_line) {
            if (column > LAST_VARIABLE) {
                printf(MSG_TABLE_WIDE, LAST_VARIABLE);
                return false;
            }
            bool ok = kind == 1;
            if (ok) {
                fraction_init(value);
                parse_literal(output_text, value);
                if (interrupted()) return false;  // a literal read half-way: not judged, not stored
                ok = value->num->rem != -1 && fits_element(column, value);
                if (!ok) value->num->rem = 0;
                if (!ok && !store) {
                    printf(MSG_TABLE_VALUE_LONG, static_cast<long long>(row), column, char('A' + column),
                           static_cast<long long>(row));
                    return false;
                }
            } else if (!store) {
                int shown = end - pos > 24 ? 24 : int(end - pos);
                printf(MSG_TABLE_CELL, static_cast<long long>(row), column, char('A' + column),
                       static_cast<long long>(row), shown, text + pos);
                return false;
            }
            if (ok && store) (void)store_value(column, int(row), value);  // checked by the first pass
        }
        if (last_on_line) {
            row++;
            column = 1;
        } else {
            column++;
        }
        pos = end + 1;
    }
    return true;
}

}  // namespace

FILE *open_for_reading(const char *name) {
    FILE *f = fopen(name, "r");
    if (f) return f;
    int errno_first = errno;
    size_t n = strlen(name);
    if (n >= sizeof temporary_name) return nullptr;
    bool changed = false;
    for (size_t k = 0; k <= n; k++) {
        temporary_name[k] = to_capital(name[k]);
        changed = changed || temporary_name[k] != name[k];
    }
    f = changed ? fopen(temporary_name, "r") : nullptr;
    if (!f) errno = errno_first;
    return f;
}

void output_written() {
    if (!output_file) return;
    if (fflush(output_file) != 0 || ferror(output_file)) report_write_failure(output_name, &output_failed);
}

void close_output_file() {
    if (!output_file) return;
    bool bad = ferror(output_file) != 0;
    if (fclose(output_file) != 0) bad = true;
    output_file = nullptr;
    if (bad) report_write_failure(output_name, &output_failed);
}

int run_nested_script(const char *name) {
    // A leading preset digit and its separator come before the file name.
    const char *file = name;
    if (is_digit(file[0])) file = file[1] != 0 ? file + 2 : file + 1;
    if (file[0] == 0) {
        fputs(MSG_FILE_NOT_FOUND, stdout);
        return -1;
    }
    return run_calculator(4, name);
}

int load_table(const char *name) {
    FILE *f = open_for_reading(name);
    if (!f) {
        fputs(MSG_TABLE_NOT_FOUND, stdout);
        return 0;
    }
    size_t mark = scratch_mark(core);
    size_t limit = table_limit();
    size_t len = 0;
    char *table_text = read_table_text(f, limit, &len);
    fclose(f);
    if (!table_text) {
        if (len > limit)
            printf(MSG_TABLE_TOO_LONG, limit);
        else
            fputs(MSG_TABLE_NOT_FOUND, stdout);
        return 0;
    }
    // Every cell is checked before the first is stored: a table with one
    // bad cell loads nothing.
    if (table_fits(table_text) && table_pass(table_text, len, false)) table_pass(table_text, len, true);
    scratch_release(core, mark);
    return interrupted() ? CODE_INTERRUPTED : 0;
}

int write_table(const char *args) {
    char last = to_capital(args[0]);
    int64_t rows = 0;
    int k = 1;
    while (is_digit(args[k])) {
        if (rows <= INT32_MAX) rows = rows * 10 + (args[k] - '0');
        k++;
    }
    if (!is_capital(last) || k == 1 || args[k] == 0 || args[k + 1] == 0) {
        fputs(MSG_TABLE_SYNTAX, stdout);
        return 0;
    }
    const char *name = args + k + 1;
    for (int column = 0; column <= last - 'A'; column++) {
        if (rows > last_element(column)) {
            printf(MSG_TABLE_WRITE_ROOM, char('A' + column), static_cast<long long>(rows),
                   static_cast<long long>(last_element(column)));
            return 0;
        }
    }

    // The table goes to a temporary file that replaces the target only once
    // it is complete, so a failed write never truncates an existing file.
    // A target that exists but may not be written is refused up front.
    if (access(name, F_OK) == 0 && access(name, W_OK) != 0) {
        fputs(MSG_TABLE_PROTECTED, stdout);
        return 0;
    }
    int n = snprintf(temporary_name, sizeof temporary_name, "%s.wc-tmp", name);
    if (n < 0 || n >= static_cast<int>(sizeof temporary_name)) {
        fputs(MSG_TABLE_PROTECTED, stdout);
        return 0;
    }
    FILE *out = fopen(temporary_name, "w");
    if (!out) {
        fputs(MSG_TABLE_PROTECTED, stdout);
        return 0;
    }

    Fraction cell;
    cell.num = reg_num[TABLE_REGISTER];
    cell.den = reg_num[TABLE_REGISTER + 1];
    cell.num_only = 0;
    char ref[24];
    for (int64_t r = 1; r <= rows && !interrupted(); r++) {
        for (char letter = 'A'; letter <= last; letter++) {
            snprintf(ref, sizeof ref, "%c%lld", letter, static_cast<long long>(r));
            read_value(ref, &cell);
            format_decimal(&cell, output_text);
            if (interrupted() || fprintf(out, "%s,", output_text) < 0) break;
        }
        if (fputs("\n", out) == EOF) break;
    }
    // Ctrl-C: the table is incomplete, so the old one stays, as after a
    // failed write, without the message.
    if (interrupted()) {
        fclose(out);
        remove(temporary_name);
        return CODE_INTERRUPTED;
    }
    // The old table stays in place unless the new one was written whole.
    bool ok = !ferror(out) && fflush(out) == 0;
    if (fclose(out) != 0) ok = false;
    if (!ok) {
        bool reported = false;
        report_write_failure(name, &reported);
        remove(temporary_name);
        return 0;
    }
    if (rename(temporary_name, name) != 0) {
        remove(temporary_name);
        fputs(MSG_TABLE_PROTECTED, stdout);
    }
    return 0;
}

namespace {

// #FW[:name] -- a new output file replaces the earlier one, which is closed
// so that its buffered lines reach the disk before anything else is written.
// A file that cannot be opened is reported; W. then writes to the console.
void open_output_file(const char *t) {
    const char *name = t[0] == ':' && t[1] != 0 ? t + 1 : DEFAULT_SAVE_FILE;
    close_output_file();
    output_file = fopen(name, "w");
    if (!output_file) {
        printf(MSG_OUTPUT_NOT_OPENED, name, strerror(errno));
        return;
    }
    snprintf(output_name, sizeof output_name, "%s", name);
    output_failed = false;
}

void open_input_file(const char *t) {
    const char *name = t[0] == ':' && t[1] != 0 ? t + 1 : DEFAULT_SAVE_FILE;
    if (input_file) fclose(input_file);
    input_file = open_for_reading(name);
}

void close_files() {
    close_output_file();
    if (input_file) fclose(input_file);
    output_file = nullptr;
    input_file = nullptr;
}

// Largest fraction limbs #FF: (with_width false) or #FN:/#NF: (true) allow
// at a precision of p limbs.
int largest_fixed_limbs(int p, bool with_width) {
    int f = p / 4;
    if (with_width && p / 10 - 2 < f) f = p / 10 - 2;
    return f;
}

// Refuses a fixed-point setting of f limbs: a count beyond the precision's
// room names the largest count allowed and the smallest preset that holds f.
void refuse_fixed_point(int f, bool with_width) {
    if (f < 1) {
        fputs(MSG_SETTING_RANGE, stdout);
        return;
    }
    int largest = 8 * largest_fixed_limbs(precision, with_width);
    for (int d = 0; d < 10; d++) {
        if (largest_fixed_limbs(preset_limbs(d), with_width) >= f) {
            printf(MSG_SETTING_TOO_LARGE, largest, d, d);
            return;
        }
    }
    printf(MSG_SETTING_BEYOND_PRESETS, largest, 8 * largest_fixed_limbs(preset_limbs(9), with_width));
}

// #FF: (with_width false) sets the fraction limbs of a fixed-point decimal;
// #FN: and #NF: (true) also the element width, two limbs more. A count out of
// range is refused with its reason.
void set_fixed_point(const char *digits, bool with_width) {
    int f = digits_to_limbs(leading_int(digits));
    if (!fixed_limbs_ok(f) || (with_width && !width_ok(f + 2))) {
        refuse_fixed_point(f, with_width);
        return;
    }
    fixed_point_limbs = f;
    if (with_width) {
        element_width = f + 2;
        apply_element_width();
    }
}

void set_element_width(const char *digits) {
    int w = digits_to_limbs(leading_int(digits));
    if (!width_ok(w)) {
        fputs(MSG_SETTING_RANGE, stdout);
        return;
    }
    element_width = w;
    apply_element_width();
}

void set_variable_width(int reg, const char *digits) {
    int w = leading_int(digits);
    if (!width_ok(w)) {
        fputs(MSG_SETTING_RANGE, stdout);
        return;
    }
    reg_num[reg]->elem_width = w;
}

}  // namespace

int run_setting(const char *text) {
    assert(text[0] == '#');
    const char *t = text + 1;
    if (t[0] == 'X' && (t[1] == '.' || t[1] == ':')) {
        exit_calculator(0);
        return 1;  // fuzz builds: the input loop sees the session end
    }
    if (is_capital(t[0]) && t[1] == ':') {
        set_variable_width(t[0] - 'A', t + 2);
        return 1;
    }
    if (t[0] == 'R' && t[1] == 'O' && (t[2] == 'F' || t[2] == 'N')) return 1;
    if (t[0] == 'F') {
        switch (t[1]) {
        case 'W':
            open_output_file(t + 2);
            return 1;
        case 'R':
            open_input_file(t + 2);
            return 1;
        case 'C':
            close_files();
            return 1;
        case 'F':
            if (t[2] != ':') break;
            set_fixed_point(t + 3, false);
            return 1;
        case 'N':
            if (t[2] != ':') break;
            set_fixed_point(t + 3, true);
            return 1;
        default:
            break;
        }
    }
    if (t[0] == 'N' && (t[1] == 'N' || t[1] == 'F') && t[2] == ':') {
        if (t[1] == 'N') {
            set_element_width(t + 3);
        } else {
            set_fixed_point(t + 3, true);
        }
        return 1;
    }
    if (strncmp(t, "RUN:", 4) == 0) {
        // The file's text replaces the script being run; one that cannot be
        // read is reported like a missing script (a long one by load_script).
        if (load_script(t + 4) == -1) puts(MSG_FILE_NOT_FOUND);
        return 1;
    }
    return 0;
}
