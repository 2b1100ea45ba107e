// Program entry.
// (placeholder: being written)
#include "console.h"
#include "../factor/gmp_api.h"
int main(int argc, char **argv) {
    bind_gmp();
    if (!gmp_ready()) printf("no: gmp-10.dll \n");
    run_calculator(argc, argc > 1 ? argv[1] : nullptr);
    return 0;
}
