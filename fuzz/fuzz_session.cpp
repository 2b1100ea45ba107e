// Fuzz target: a whole console session. The input is standard input of the
// calculator at precision 200; output goes to /dev/null, files are confined to
// a temporary directory emptied before each session, and the exit command
// returns here (fuzz-only hook) instead of ending the process.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <csignal>
#include <dirent.h>
#include <sys/time.h>
#include <unistd.h>

#include "console/console.h"
#include "factor/factor.h"

namespace {

timespec deadline;

// The rho search stops as if a key were pressed once a session has run for
// a second: factorising a large number is not a fault, only slow.
int stop_after_deadline() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > deadline.tv_sec ||
           (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

// A session may loop for ever as the user wrote it (a block replayed while a
// condition holds); at the console Ctrl-C is the way out. Here a CPU-time tick
// plays Ctrl-C every quarter second of CPU time: the first abandons the line, the second ends the session.
volatile sig_atomic_t ticks = 0;

void on_tick(int) {
    ticks = ticks + 1;
    if (ticks >= 2) fuzz_stop_session = 1;
    interrupt_requested = 1;
}

void set_ticks(long ms) {
    itimerval t = {};
    t.it_interval.tv_sec = ms / 1000;
    t.it_interval.tv_usec = (ms % 1000) * 1000;
    t.it_value = t.it_interval;
    setitimer(ITIMER_VIRTUAL, &t, nullptr);
}

void empty_directory() {
    DIR *d = opendir(".");
    if (!d) return;
    while (dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) unlink(e->d_name);
    }
    closedir(d);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    bind_gmp();
    char dir[] = "/tmp/vantrel-fuzz-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) abort();
    if (!freopen("/dev/null", "w", stdout)) abort();
    if (fuzz_start() != 0) abort();
    factor_key_poll = stop_after_deadline;
    struct sigaction sa = {};
    sa.sa_handler = on_tick;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGVTALRM, &sa, nullptr);
    rho_check_every = 2000;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    FILE *in = fmemopen(const_cast<uint8_t *>(data), size, "r");
    if (!in) return 0;
    empty_directory();
    // The input is also a file of the session's directory, so that it can
    // run itself (L:S.TXT, #RUN:S.TXT) or be loaded as a table (LC:S.TXT).
    if (FILE *self = fopen("S.TXT", "wb")) {
        fwrite(data, 1, size, self);
        fclose(self);
    }
    FILE *console = stdin;
    stdin = in;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += 1;
    ticks = 0;
    fuzz_stop_session = 0;
    interrupt_requested = 0;
    set_ticks(250);
    fuzz_session();
    set_ticks(0);
    stdin = console;
    fclose(in);
    return 0;
}
