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
#include "../number/scratch.h"
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

// Bytes of the unsigned decimal literal at `text`: integer digits, then a
// point with at least one digit behind it. Its limb count is left in *limbs.
int literal_extent(const char *text, int *limbs) {
    int i = 0;
    while (is_digit(text[i])) i++;
    int k = 0;
    if (text[i] == '.' && is_digit(text[i + 1])) {
        while (is_digit(text[i + 1 + k])) k++;
    }
    int taken = k;
    if (fixed_point_limbs > 0 && k > 8 * fixed_point_limbs) taken = 8 * fixed_point_limbs;
    *limbs = (i + taken + 7) / 8 + (k > 6 ? fixed_point_limbs : 0);
    return i + (k > 0 ? k + 1 : 0);
}

// Largest element index variable `reg` can hold: its element storage may
// take over the numerator's area as well.
int64_t last_element(int reg) {
    int w = reg_num[reg]->elem_width > 0 ? reg_num[reg]->elem_width : 1;
    return (int64_t(reg_num[reg]->capacity) + reg_den[reg]->capacity) / w - 1;
}

// Bytes of table text LC: accepts: a dozen bytes per limb of the storage of
// the columns B..Z (a cell's text needs at most about nine per limb of its
// value), bounded by the scratch arena that holds the text.
size_t table_limit() {
    size_t columns = LAST_VARIABLE;
    size_t limit = columns * (size_t(reg_den[1]->capacity) + size_t(reg_num[1]->capacity)) *
                   TABLE_BYTES_PER_LIMB;
    size_t room = scratch_room() * sizeof(uint32_t);
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
    size_t mark = scratch_mark();
    char *text = reinterpret_cast<char *>(scratch_take((limit + 2 + 3) / 4));
    if (!text) return nullptr;
    size_t got = fread(text, 1, limit + 1, f);
    if (ferror(f) || got > limit) {
        scratch_release(mark);
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
        } else if (*p != ' ' && *p != '\r' && col <= LAST_VARIABLE) {
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

}  // namespace

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

void load_table(const char *name) {
    FILE *f = fopen(name, "r");
    if (!f) {
        fputs(MSG_TABLE_NOT_FOUND, stdout);
        return;
    }
    size_t mark = scratch_mark();
    size_t limit = table_limit();
    size_t len = 0;
    char *table_text = read_table_text(f, limit, &len);
    fclose(f);
    if (!table_text) {
        if (len > limit)
            printf(MSG_TABLE_TOO_LONG, limit);
        else
            fputs(MSG_TABLE_NOT_FOUND, stdout);
        return;
    }
    if (!table_fits(table_text)) {
        scratch_release(mark);
        return;
    }

    Fraction *value = &reg_frac[TABLE_REGISTER];
    int row = 1;
    int column = 1;
    size_t pos = 0;
    while (pos < len) {
        // Values are written with a blank before positive numbers.
        while (table_text[pos] == ' ') pos++;
        bool negative = table_text[pos] == '-';
        if (negative) pos++;
        int limbs = 0;
        int extent = literal_extent(table_text + pos, &limbs);
        bool fits = limbs + 2 <= value->num->capacity;
        int consumed = 0;
        if (fits) {
            fraction_init(value);
            consumed = parse_literal(table_text + pos, value);
        } else {
            fputs(MSG_TABLE_VALUE_LONG, stdout);
            consumed = extent;
        }
        pos += static_cast<size_t>(consumed);
        char after = table_text[pos];
        bool line_end = after == 0 || after == '\n';
        // An empty field at the end of a line (the comma that ends every row
        // written by WC:, or an empty line) holds no value.
        bool empty = consumed == 0 && !negative;
        if (fits && !(empty && line_end) && column <= LAST_VARIABLE) {
            if (negative && !bn_is_zero(value->num)) value->num->sign = -1;
            (void)store_value(column, row, value);  // store_value reports a refusal itself
        }
        if (after == ',') {
            column++;
        } else if (line_end) {
            row++;
            column = 1;
        }
        pos++;
    }
    scratch_release(mark);
}

void write_table(const char *args) {
    char last = args[0];
    if (!is_capital(last) || !is_digit(args[1]) || args[2] == 0 || args[3] == 0) {
        fputs(MSG_TABLE_SYNTAX, stdout);
        return;
    }
    int rows = args[1] - '0';
    const char *name = args + 3;

    // The table goes to a temporary file that replaces the target only once
    // it is complete, so a failed write never truncates an existing file.
    // A target that exists but may not be written is refused up front.
    if (access(name, F_OK) == 0 && access(name, W_OK) != 0) {
        fputs(MSG_TABLE_PROTECTED, stdout);
        return;
    }
    int n = snprintf(temporary_name, sizeof temporary_name, "%s.wc-tmp", name);
    if (n < 0 || n >= static_cast<int>(sizeof temporary_name)) {
        fputs(MSG_TABLE_PROTECTED, stdout);
        return;
    }
    FILE *out = fopen(temporary_name, "w");
    if (!out) {
        fputs(MSG_TABLE_PROTECTED, stdout);
        return;
    }

    Fraction cell;
    cell.num = reg_num[TABLE_REGISTER];
    cell.den = reg_num[TABLE_REGISTER + 1];
    cell.num_only = 0;
    char ref[3] = {0, 0, 0};
    for (int r = 1; r <= rows; r++) {
        for (char letter = 'A'; letter <= last; letter++) {
            ref[0] = letter;
            ref[1] = static_cast<char>('0' + r);
            read_value(ref, &cell);
            format_decimal(&cell, output_text);
            if (fprintf(out, "%s,", output_text) < 0) break;
        }
        if (fputs("\n", out) == EOF) break;
    }
    // The old table stays in place unless the new one was written whole.
    bool ok = !ferror(out) && fflush(out) == 0;
    if (fclose(out) != 0) ok = false;
    if (!ok) {
        bool reported = false;
        report_write_failure(name, &reported);
        remove(temporary_name);
        return;
    }
    if (rename(temporary_name, name) != 0) {
        remove(temporary_name);
        fputs(MSG_TABLE_PROTECTED, stdout);
    }
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
    input_file = fopen(name, "r");
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
    if (t[0] == 'X' && (t[1] == '.' || t[1] == ':')) exit_calculator(0);
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
