// Statement values with every kept place certain: the evaluation runs with
// guard limbs and is repeated with more while the error bound carried with
// the value could move one of the F places it keeps.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "../number/ball.h"
#include "expr.h"
#include "messages.h"

namespace {

constexpr int FIRST_GUARD_LIMBS = 2;

int depth = 0;            // nested certain evaluations (bracket forms)
int statement_places = 0;  // F of the outermost statement
bool divisor_doubt = false;
bool last_attempt = false;

// The console's descriptor while the output is muted, else -1.
int muted_console = -1;

// Puts the console back after muted output.
void unmute() {
    if (muted_console < 0) return;
    fflush(stdout);
    dup2(muted_console, STDOUT_FILENO);
    close(muted_console);
    muted_console = -1;
}

// Output of the repeated attempts is dropped: their messages were given by
// the first one. The console's descriptor is put aside and restored on
// leaving the scope, a Ctrl-C included (certify_reset does it as well). Only
// the outermost scope mutes.
struct Mute {
    bool mine = false;
    void on() {
        if (muted_console >= 0) return;
        fflush(stdout);
        int sink = open("/dev/null", O_WRONLY);
        if (sink < 0) return;
        muted_console = dup(STDOUT_FILENO);
        if (muted_console >= 0) dup2(sink, STDOUT_FILENO);
        close(sink);
        mine = true;
    }
    ~Mute() {
        if (mine) unmute();
    }
};

// Largest guard: half F more limbs (at least 128: a value within 10^-1000
// of a boundary is still told apart at small F), within half the numerator
// room so that the work of the kernels still fits.
int guard_room(int places) {
    int g = places / 2 > 128 ? places / 2 : 128;
    int room = precision / 2 - places;
    return g < room ? g : (room > 0 ? room : 0);
}

// An exact fixed-point value keeps no zero limbs beyond F places.
void trim_exact(Fraction *f, int places) {
    BigNum *n = f->num;
    if (!bn_is_one(f->den)) return;
    while (n->frac_limbs > places && (n->used == 0 || limb(n, 0) == 0)) {
        (void)shift_limbs(n, -1);  // a downward shift cannot fail
        n->frac_limbs--;
    }
    if (bn_is_zero(n)) {
        bn_normalise_zero(n);
        n->frac_limbs = 0;
        return;
    }
    // Digits beyond F places: the exact value as a fraction over a power of
    // ten, reduced, like the same value written as a quotient (1/10^50 is
    // 1/(10^50)).
    if (n->frac_limbs > places && f->den->capacity >= n->frac_limbs + 2) {
        int k = n->frac_limbs;
        bn_clear(f->den);
        bn_set_one(f->den);
        (void)shift_limbs(f->den, k);  // room checked above
        n->frac_limbs = 0;
        bn_strip(n);
        reduce_small(n, f->den);
    }
}

// The end of the room without certainty: the zero divisor that stayed in
// doubt, a simple fraction inside the ball, or the places that are sure.
void settle_uncertain(Fraction *dest, int places) {
    if (divisor_doubt) {
        tell_division_by_zero();
        fraction_init(dest);
        return;
    }
    if (ball_recover(dest, places)) return;
    int sure = ball_certain_places(dest, places);
    if (sure < 0) {
        fputs(MSG_NOTHING_CERTAIN, stdout);
        fraction_init(dest);
        return;
    }
    printf(MSG_PLACES_CERTAIN, sure);
}

}  // namespace

void note_divisor_doubt() { divisor_doubt = true; }

void certify_reset() {
    unmute();
    depth = 0;
    statement_places = 0;
    divisor_doubt = false;
    last_attempt = false;
}

bool final_attempt() { return last_attempt; }

int eval_certain(const char *text, Fraction *dest, int level, bool group) {
    int saved_limbs = fixed_point_limbs, saved_places = statement_places;
    int places = depth == 0 ? fixed_point_limbs : statement_places;
    statement_places = places;
    depth++;
    int room = guard_room(places);
    int g = FIRST_GUARD_LIMBS < room ? FIRST_GUARD_LIMBS : room;
    int n = 0, last_good = -1, failures_shown = -1;
    bool settled = false;
    {
        Mute mute;
        for (;;) {
            fixed_point_limbs = places + g;
            divisor_doubt = false;
            last_attempt = g >= room;
            fraction_init(dest);
            int refusals = refusal_count;
            n = group ? eval_group(text, dest, level) : eval_expression(text, dest, level);
            if (failures_shown < 0) failures_shown = failure_count();
            // Ctrl-C: no further attempt, and the value (of no meaning) is
            // neither judged nor settled; the caller hands the status up.
            if (interrupted()) break;
            if (refusal_count != refusals) {
                // Refused on the first attempt: the value stands as the
                // refusal left it (its notice is printed). Refused only with
                // more guard limbs: the room ends at the last attempt that
                // was not refused, which runs once more.
                if (last_good < 0) break;
                room = g = last_good;
                continue;
            }
            last_good = g;
            Certainty c = ball_truncate(dest, places);
            if (c != CERTAIN_NO) break;
            if (g >= room) {
                fixed_point_limbs = places + g;
                settled = true;
                break;
            }
            mute.on();
            // Twice the guard, and from the third attempt on at least a
            // quarter of F: at large F the attempts near F cost as much as
            // the first, so few large steps beat many small ones.
            int next = 2 * g;
            if (g >= 2 * FIRST_GUARD_LIMBS && next < places / 4) next = places / 4;
            g = next > room ? room : next;
            if (g == 0) g = room;
        }
    }
    last_attempt = false;
    // Only the first attempt's failures were shown; the muted ones are not
    // the statement's.
    restore_failure_count(failures_shown);
    if (settled && !interrupted()) settle_uncertain(dest, places);
    dest->rad = RAD_ZERO;
    trim_exact(dest, places);
    fixed_point_limbs = saved_limbs;
    statement_places = saved_places;
    depth--;
    return n;
}
