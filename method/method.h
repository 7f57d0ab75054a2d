#pragma once

// The options, the stop reasons and the record of a run of the two-index
// method (its entry for C++ programs: orthopair_solver.h; the engine and its
// building blocks: method_internal.h). The method, run natively: minimise
//
//   F(X) = ½·tr(XᵀAX) + ⟨E, X⟩ + Σⱼ λⱼ·‖X(:, j)‖₁   subject to XᵀX = I,
//
// X n×r, A symmetric n×n (dense, sparse, or scale·DᵀD from an m×n D; see
// operator.h), E n×r (or none), λⱼ ≥ 0, by two kinds of steps:
//
// - pair steps: two rows P = (i, j) of X are replaced by V·X(P, :) with the
//   best 2×2 orthogonal V for the exact change of F (a quadratic model in V
//   plus the L1 term), found by solve_orthogonal_2x2. Feasibility is kept by
//   construction and a step costs O(n·r);
// - proximal-gradient steps on the manifold: all rows move at once along the
//   tangent direction that minimises ⟨∇f, V⟩ + ‖V‖²/(2t) + h(X + V), then the
//   polar retraction. A step costs a few products with A: O(n²·r) for dense
//   A, O(m·n·r) for A = scale·DᵀD.
//
// The run stops 'certified' only when (a) one full pass over all n(n−1)/2
// pairs finds no pair whose exact step lowers F by more than
// tol·max(1, |F|), and (b) the first-order stationarity measure (the norm of
// the least-norm element of the projected subdifferential) is at most
// tol_stat·max(1, ‖∇f‖_F).
//
// The default rule 'mixed' runs prox steps until the proximal gradient
// mapping ‖V‖/t is within the tolerance of (b) or the gains still to come
// no longer reach tol (engine.cpp, prox_phase), then full passes over all
// pairs until one takes no step above tol, then checks (b); while (b) fails
// it alternates prox phases and passes that take every gain. The passes are
// cheap near a sparse stationary point: pairs of a zero row are settled in
// groups by one bound per nonzero row (pass_screen.h), and a pair is solved
// only when an exact upper bound of its possible gain exceeds the threshold.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace method {

enum class Rule { mixed, zandrel, tolmiv, uniform, sweep, prox };

// Why a run ended. The word is what info.stop says everywhere (engine, host
// struct, help texts); the message is the sentence the hosts print.
enum class Stop {
    certified,       // both certificates hold at the returned X
    not_certified,   // the rule ended its own work without both certificates
    stalled,         // no step of the rule's kind could lower F any more
    max_iter,
    time_limit,
    target,
    callback,        // the callback asked to stop
    callback_error,  // the callback raised an error
    interrupted,     // Ctrl-C
};

struct StopText {
    Stop stop;
    const char* word;
    const char* message;
};

constexpr StopText STOP_TEXTS[] = {
    {Stop::certified, "certified", "both certificates hold"},
    {Stop::not_certified, "not_certified",
     "the rule ended its work without both certificates holding"},
    {Stop::stalled, "stalled", "no step could lower F any more, yet the certificates do not both hold"},
    {Stop::max_iter, "max_iter", "the iteration cap max_iter was reached"},
    {Stop::time_limit, "time_limit", "the time limit was reached"},
    {Stop::target, "target", "F reached target_f"},
    {Stop::callback, "callback", "the callback asked to stop"},
    {Stop::callback_error, "callback_error", "the callback raised an error"},
    {Stop::interrupted, "interrupted", "interrupted by the user"},
};

inline const StopText& stop_text(Stop stop)
{
    for (const StopText& t : STOP_TEXTS) {
        if (t.stop == stop) return t;
    }
    return STOP_TEXTS[0];
}

struct Options {
    Rule rule = Rule::mixed;
    int64_t max_iter = 100000000;    // pair steps + prox steps
    double time_limit = HUGE_VAL;    // seconds, counted from `started`
    double target_f = -HUGE_VAL;     // stop 'target' once F ≤ target_f
    double tol = 1e-10;              // certificate (a), relative to max(1, |F|)
    double tol_stat = 1e-6;          // certificate (b), relative to max(1, ‖∇f‖_F)
    int32_t n_trials = 0;            // pairs drawn by the selectors; 0 means n
    bool certify = true;
    bool prox = true;                // prox steps allowed in 'mixed'
    uint32_t seed = 1;               // seeds the run's own generator of random pairs
    int64_t progress_every = 0;      // iterations between progress points; 0: by time only
    // When the caller's clock started: the time limit covers the caller's
    // own set-up too. The default (the clock's epoch) means the run's start.
    std::chrono::steady_clock::time_point started{};
    double print_interval = 2;       // seconds between progress points (the first comes
                                     // within a second); 0 or less: none by time
};

// One record of the history, taken at progress points and at the end.
struct HistoryPoint {
    int64_t iteration;
    double f;
    double time;
    int64_t moves;
    int64_t prox_steps;
    int64_t sweeps;
    int64_t screened;
    double stationarity;             // NaN where it was not measured
    double pair_gap;                 // NaN where no full pass has been made
};

struct Info {
    double f = 0;
    double f0 = 0;
    Stop reason = Stop::not_certified;
    std::string stop;                // stop_text(reason).word
    int64_t iterations = 0;
    int64_t pair_steps = 0;
    int64_t moves = 0;
    int64_t screened = 0;           // pairs of full passes settled by a bound alone (one by one or in groups)
    int64_t sweeps = 0;
    int64_t prox_steps = 0;
    double time = 0;
    // Relative to max(1, |F|): the largest of the gains of the pairs solved
    // and the bounds of the pairs settled by a bound in the last finished
    // pass. When that pass took no step it is an upper bound of the gain of
    // every pair step at the final X; NaN when no full pass was made.
    double pair_gap = 0;
    double stationarity = 0;
    double stationarity_scale = 1;   // max(1, ‖∇f‖_F) at the end
    bool stationarity_converged = true;  // false: the measure is only an upper bound
    double feasibility = 0;
    std::string phase;               // "prox", "pass", "pairs" (greedy steps), "done"
    int64_t pass_pairs_done = 0;     // pairs of the current pass looked at so far
    int64_t pass_pairs_total = 0;    // pairs of the current pass, 0 outside a pass
    int64_t touched = -1;            // pairs the last finished pass looked at one by one;
                                     // -1 before the first
    std::vector<HistoryPoint> history;
};

// Called at every progress point with the state so far; returns true to
// stop the run ('callback').
using ProgressHook = std::function<bool(const Info&)>;

}  // namespace method
