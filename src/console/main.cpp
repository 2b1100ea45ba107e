// Program entry: binds the multiple precision library, then hands the
// command line over to the calculator.
#include "../factor/gmp_api.h"
#include "console.h"
#include "messages.h"

// One argument: preset digit and/or script name. Two arguments: the first
// character of the first selects the mode, the second names the script. Any
// other count, or a mode-4 call that returned, ends in the call on the first
// argument with the word count as mode. Returns 0 when it returns at all.
int main(int argc, char **argv) {
    bind_gmp();
    if (!gmp_ready()) fputs(MSG_NO_GMP, stdout);
    if (argc == 2) run_calculator(2, argv[1]);
    else if (argc == 3) run_calculator(argv[1][0] - '0', argv[2]);
    run_calculator(argc, argc > 1 ? argv[1] : nullptr);
    return 0;
}
