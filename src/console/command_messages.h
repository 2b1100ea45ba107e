// Fixed message texts of the command interpreter and the file and setting
// commands, plus the entry points the interpreter takes from the file commands.
#pragma once

#define MSG_DISPLAY_FRACTION "VF_OK\n"
#define MSG_DISPLAY_DECIMAL "VR_OK\n"
#define MSG_NEGATIVE_INDEX "negative_index\n"
#define MSG_REPEAT_COUNT "repeat count must be a whole number from 0 to 2147483647; no pass\n"
#define MSG_TABLE_NOT_FOUND "file_not_found\n"
#define MSG_TABLE_PROTECTED "file_protected\n"
#define MSG_TABLE_SYNTAX "table_syntax\n"
#define MSG_TABLE_VALUE_LONG "table_value_too_long (row %lld, column %d: %c%lld has no room for it); nothing loaded\n"
#define MSG_TABLE_CELL "table_cell_not_a_number (row %lld, column %d: %c%lld, \"%.*s\"); nothing loaded\n"
#define MSG_TABLE_WIDE "table_too_wide (more than %d columns); nothing loaded\n"
#define MSG_TABLE_WRITE_ROOM "table_too_long (%c: %lld rows, room for %lld); nothing written\n"
#define MSG_TABLE_TOO_LONG "table_too_long (more than %zu bytes); nothing loaded\n"
#define MSG_TABLE_NO_ROOM "table_too_long (%c: %lld rows, room for %lld); nothing loaded\n"
#define MSG_SETTING_RANGE "value_out_of_range\n"
#define MSG_SETTING_TOO_LARGE "value_out_of_range: at most %d digits at this preset; preset %d holds it (start with: vantrel %d)\n"
#define MSG_SETTING_BEYOND_PRESETS "value_out_of_range: at most %d digits at this preset, %d at the largest\n"
#define MSG_OUTPUT_NOT_OPENED "cannot write %s (%s); W. writes to the console\n"
#define MSG_WRITE_FAILED "writing %s failed (%s); what was written since may be lost\n"

// Default name of the output file of #FW and the input file of #FR.
#define DEFAULT_SAVE_FILE "save.txt"

// File and setting commands (files.cpp), called by run_command.
// Nested run of the script file `name`; the result of run_calculator(4, ...)
// (CODE_INTERRUPTED when Ctrl-C stopped it).
int run_nested_script(const char *name);
// LC:name -- load a comma-separated table into elements of B, C, ...
// 0, or CODE_INTERRUPTED when Ctrl-C stopped the loading (the rows stored
// before stay).
int load_table(const char *name);
// WC:Ld,name -- write rows 1..d of the elements of A..L as a table. 0, or
// CODE_INTERRUPTED when Ctrl-C stopped the writing (the old file stays).
int write_table(const char *args);
// A `#` command at `text` (which starts with '#'): 1 when recognised and
// carried out, 0 when the line is to be executed as a statement instead.
int run_setting(const char *text);
