// The quadratic sieve stage: the bound library's sieve runs in a child
// process that writes the factors it finds into a pipe, so that the parent
// keeps printing progress marks, polls the key and Ctrl-C, and ends the
// child at once when the search is stopped.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "factor_libs.h"
#include "search.h"

namespace {

constexpr int WAIT_MS = 50;  // longest wait for the child between two check points

// The running child and its scratch directory (the library writes its
// relations into a file in the current directory), for the exit handler.
pid_t child_pid = 0;
char child_dir[256];

void remove_child_dir() {
    if (!child_dir[0]) return;
    if (DIR *d = opendir(child_dir)) {
        while (dirent *e = readdir(d)) {
            if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
            char path[sizeof child_dir + 256];
            snprintf(path, sizeof path, "%s/%s", child_dir, e->d_name);
            unlink(path);
        }
        closedir(d);
    }
    rmdir(child_dir);
    child_dir[0] = 0;
}

// Ends a running child and removes its directory; also run at exit, so that
// ending the calculator during a sieve leaves nothing behind.
void end_child() {
    if (child_pid > 0) {
        kill(child_pid, SIGKILL);
        waitpid(child_pid, nullptr, 0);
        child_pid = 0;
    }
    remove_child_dir();
}

// The child: sieves n (decimal text) and writes "factor exponent" lines to
// fd. Never returns; nothing of the parent's output buffers is flushed.
[[noreturn]] void run_child(const char *digits, int fd) {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) dup2(null_fd, STDOUT_FILENO);
    if (chdir(child_dir) != 0) _exit(2);
    FlintInteger n = 0;
    if (flint_lib.set_str(&n, digits, 10) != 0) _exit(2);
    FlintFactorList factors;
    flint_lib.factor_init(&factors);
    flint_lib.qsieve_factor(&factors, &n);
    for (long i = 0; i < factors.num; i++) {
        char *text = flint_lib.get_str(nullptr, 10, &factors.p[i]);
        char line[32];
        snprintf(line, sizeof line, " %lu\n", factors.exp[i]);
        if (write(fd, text, strlen(text)) < 0 || write(fd, line, strlen(line)) < 0) _exit(2);
    }
    _exit(0);  // the process ends: the library's integers need no release
}

// Reads the child's lines until it closes the pipe, checking the search at
// least every WAIT_MS. Returns the text (malloc'd, zero-terminated) or null
// when the search was stopped.
char *collect(int fd) {
    size_t room = 4096, len = 0;
    char *text = static_cast<char *>(malloc(room));
    if (!text) return nullptr;
    for (;;) {
        pollfd p = {fd, POLLIN, 0};
        int ready = poll(&p, 1, WAIT_MS);
        if (progress_check()) {
            free(text);
            return nullptr;
        }
        if (ready <= 0) continue;
        if (len + 1024 > room) {
            char *grown = static_cast<char *>(realloc(text, room * 2));
            if (!grown) break;
            text = grown;
            room *= 2;
        }
        ssize_t got = read(fd, text + len, room - len - 1);
        if (got <= 0) break;
        len += static_cast<size_t>(got);
    }
    text[len] = 0;
    return text;
}

// The first proper divisor of m among the child's factor lines.
bool first_divisor(const char *text, mpz_ptr m, mpz_ptr divisor_out) {
    bool found = false;
    for (const char *line = text; *line && !found;) {
        const char *end = strchr(line, ' ');
        if (!end) break;
        char digits[4096];
        size_t n = static_cast<size_t>(end - line);
        if (n > 0 && n < sizeof digits) {
            memcpy(digits, line, n);
            digits[n] = 0;
            if (gmp.set_str(divisor_out, digits, 10) == 0 && gmp.cmp_ui(divisor_out, 1) > 0 &&
                gmp.cmp(divisor_out, m) < 0) {
                mpz_t q, r;
                gmp.init(q);
                gmp.init(r);
                gmp.tdiv_qr(q, r, m, divisor_out);
                found = gmp.cmp_ui(r, 0) == 0;
                gmp.clear(q);
                gmp.clear(r);
            }
        }
        const char *next = strchr(end, '\n');
        line = next ? next + 1 : end + strlen(end);
    }
    return found;
}

}  // namespace

// The sieve on a composite m that is not a perfect power: SEARCH_FOUND with
// a proper divisor, SEARCH_STOPPED (the child ended at once), or
// SEARCH_EXHAUSTED when the child could not be run or found nothing.
int sieve_search(mpz_ptr m, mpz_ptr divisor_out) {
    static bool exit_handler = false;
    if (!exit_handler) exit_handler = atexit(end_child) == 0;
    size_t size = gmp.sizeinbase(m, 10) + 2;
    char *digits = static_cast<char *>(malloc(size));
    if (!digits) return SEARCH_EXHAUSTED;
    gmp.get_str(digits, 10, m);
    const char *tmp = getenv("TMPDIR");
    snprintf(child_dir, sizeof child_dir, "%s/vantrel-sieve-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    int fds[2] = {-1, -1};
    if (!mkdtemp(child_dir) || pipe(fds) != 0) {
        child_dir[0] = 0;
        free(digits);
        return SEARCH_EXHAUSTED;
    }
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        run_child(digits, fds[1]);
    }
    free(digits);
    close(fds[1]);
    char *text = nullptr;
    if (pid > 0) {
        child_pid = pid;
        text = collect(fds[0]);
    }
    close(fds[0]);
    end_child();
    if (!text) return stop_flag ? SEARCH_STOPPED : SEARCH_EXHAUSTED;
    bool found = first_divisor(text, m, divisor_out);
    free(text);
    return found ? SEARCH_FOUND : SEARCH_EXHAUSTED;
}
