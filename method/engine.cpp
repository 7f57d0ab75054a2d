#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "manifold.h"
#include "method_internal.h"
#include "pair_frame.h"
#include "pair_select_with.h"
#include "prox_subproblem.h"
#include "run_generator.h"
#include "stationarity.h"
#include "stiefel.h"
#include "pass_screen.h"
#include "tolerances.h"

namespace method {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
namespace tl = tolerances;

class Engine {
public:
    Engine(const Problem& p, const Options& o, std::vector<double>& Xt, const ProgressHook& hook)
        : p_(p), o_(o), Xt_(Xt), hook_(hook), n_(p.n), r_(p.r), AX_(p.A, p.r), AY_(p.A, p.r), pass_(p),
          gen_(o.seed)
    {
        rows_.resize(2 * static_cast<size_t>(r_));
        diff_.resize(2 * static_cast<size_t>(r_));
        if (o_.n_trials <= 0) o_.n_trials = n_;
        all_pairs_ = static_cast<int64_t>(n_) * (n_ - 1) / 2;
        progress_every_ = std::max<int64_t>(0, o_.progress_every);
        refresh_every_ = std::max<int64_t>(2 * n_, tl::refresh_moves);
    }

    Info run()
    {
        start_ = o_.started == Clock::time_point{} ? Clock::now() : o_.started;
        refresh();
        info_.f0 = f_;
        info_.pair_gap = NaN;
        info_.stationarity = NaN;
        next_progress_ = progress_every_;
        info_.phase = o_.rule == Rule::prox || (o_.rule == Rule::mixed && prox_allowed()) ? "prox"
                      : o_.rule == Rule::sweep || o_.rule == Rule::mixed             ? "pass"
                                                                                   : "pairs";
        if (info_.phase == "pass") info_.pass_pairs_total = all_pairs_;
        // The first point is at the start; the next within a second, then
        // every print_interval seconds.
        next_print_ = std::min(1.0, o_.print_interval);
        record();
        if (f_ <= o_.target_f) stop(Stop::target);
        if (o_.max_iter <= 0) stop(Stop::max_iter);
        if (elapsed() >= o_.time_limit) stop(Stop::time_limit);

        if (!stopped_) {
            switch (o_.rule) {
            case Rule::mixed: run_mixed(); break;
            case Rule::sweep: run_sweeps(); break;
            case Rule::prox: run_prox(); break;
            default: run_greedy(); break;
            }
        }
        refresh();
        info_.f = f_;
        stationarity_now();
        info_.feasibility = feasibility(p_, Xt_.data());
        info_.time = elapsed();
        enter("done");
        record();
        return info_;
    }

private:
    double elapsed() const
    {
        return std::chrono::duration<double>(Clock::now() - start_).count();
    }
    double scale() const { return std::max(1.0, std::fabs(f_)); }

    void stop(Stop why)
    {
        if (!stopped_) {
            stopped_ = true;
            info_.reason = why;
            info_.stop = stop_text(why).word;
        }
    }

    // A history point, handed to the hook; the hook may stop the run.
    void record()
    {
        info_.f = f_;
        info_.time = elapsed();
        info_.history.push_back({info_.iterations, f_, info_.time, info_.moves,
                                 info_.prox_steps, info_.sweeps, info_.screened, info_.stationarity,
                                 info_.pair_gap});
        if (hook_ && hook_(info_)) stop(Stop::callback);
    }

    // The phase the run is in, for the progress points; a pass's counts
    // are cleared when it is left.
    void enter(const char* phase)
    {
        info_.phase = phase;
        info_.pass_pairs_done = 0;
        info_.pass_pairs_total = 0;
    }

    // Bookkeeping after every iteration (a pair step or a prox step).
    bool tick()
    {
        ++info_.iterations;
        if (f_ <= o_.target_f) stop(Stop::target);
        if (info_.iterations >= o_.max_iter) stop(Stop::max_iter);
        // A pair step costs O(n·r) at most: the clock is read every 32 of
        // them. A prox step costs a few products with A, so the clock is read
        // after each.
        bool due = false;
        if ((info_.iterations & 31) == 0 || prox_step_taken_) {
            const double now = elapsed();
            if (now >= o_.time_limit) stop(Stop::time_limit);
            if (o_.print_interval > 0 && now >= next_print_) {
                next_print_ = now + o_.print_interval;
                due = true;
            }
        }
        prox_step_taken_ = false;
        if (progress_every_ > 0 && info_.iterations >= next_progress_) {
            next_progress_ = info_.iterations + progress_every_;
            due = true;
        }
        if (due) record();
        return stopped_;
    }

    // AXt and F from scratch, so that the rank-2 updates leave no drift;
    // X is taken back to its polar factor if XᵀX − I has grown.
    void refresh()
    {
        if (feasibility(p_, Xt_.data()) > tl::refresh_feasibility) {
            // Newton steps on the nonzero entries keep the exact zeros (the
            // kinks); the polar factor, which would spread them, is the
            // fallback.
            const size_t total = Xt_.size();
            zero_.resize(total);
            for (size_t q = 0; q < total; ++q) zero_[q] = Xt_[q] != 0;
            Z_ = Xt_;
            if (orthonormalize_on_pattern(n_, r_, Z_.data(), zero_.data())) {
                Xt_.swap(Z_);
            } else {
                polar(n_, r_, Xt_.data());
                snap_small(p_, Xt_.data());
            }
        }
        snap_small(p_, Xt_.data());
        AX_.compute(Xt_.data());
        f_ = objective(p_, Xt_.data(), AX_);
        moves_since_refresh_ = 0;
    }

    // The exact best step on rows i, j, taken when it lowers F by more than
    // threshold (and by more than its own rounding level). Returns the
    // change it offered. With screen set, a pair whose bound shows that it
    // cannot gain more than threshold is not solved, and minus that bound is
    // returned (the change is at least that).
    double try_pair(int32_t i, int32_t j, double threshold, bool screen = false,
                    bool look_only = false)
    {
        PairModel model;
        pair_model(p_, Xt_.data(), AX_, i, j, model);
        ++info_.pair_steps;
        const double bound = screen ? pair_bound(model, threshold) : 0.0;
        if (screen && bound <= threshold) {
            ++info_.screened;
            return -std::max(bound, 0.0);
        }
        double floor = 0;
        const double change =
            pair_step(p_, Xt_.data(), AX_, i, j, model, rows_.data(), &floor);
        if (change < -std::max(floor, threshold) && !look_only) {
            apply_rows(i, j);
            f_ += change;
            ++info_.moves;
            if (++moves_since_refresh_ >= refresh_every_) refresh();
        }
        return change;
    }

    // Rows i, j of X take the new values in rows_; A·X changes by the
    // rank-2 term A(:, P)·(Z_new − Z) (D·X by D(:, P)·(Z_new − Z)).
    void apply_rows(int32_t i, int32_t j)
    {
        const int32_t r = r_;
        double* zi = Xt_.data() + static_cast<size_t>(r) * i;
        double* zj = Xt_.data() + static_cast<size_t>(r) * j;
        double* di = diff_.data();
        double* dj = diff_.data() + r;
        for (int32_t k = 0; k < r; ++k) {
            di[k] = rows_[k] - zi[k];
            dj[k] = rows_[r + k] - zj[k];
            zi[k] = rows_[k];
            zj[k] = rows_[r + k];
        }
        AX_.update(i, j, di, dj);
    }

    // One pass over all pairs i < j in order, taking every step that lowers
    // F by more than threshold·max(1, |F|) (none when look_only). Pairs of
    // zero rows are settled in groups by PassScreen; the others are bounded
    // or solved one by one by try_pair. A pass that takes no step left X
    // untouched, so what it saw holds for the final point: no pair gains
    // more than the threshold, and pair_gap (the largest gain solved or bound
    // that settled a pair) bounds every pair's gain from above.
    int64_t sweep(double threshold, bool look_only = false)
    {
        const int64_t before = info_.moves;
        enter("pass");
        info_.pass_pairs_total = all_pairs_;
        PassHooks hooks;
        hooks.product_row = [&](int32_t i) { return AX_.row(i); };
        hooks.threshold = [&] { return std::max(threshold, tl::pass_threshold_floor) * scale(); };
        hooks.visit = [&](int32_t i, int32_t j) {
            const int64_t moves = info_.moves;
            PairVisit v;
            v.gain = -try_pair(i, j, hooks.threshold(), screen_, look_only);
            v.moved = info_.moves != moves;
            v.stop = tick();
            return v;
        };
        hooks.stopped = [&](int64_t done) {
            info_.pass_pairs_done = done;
            if (!stopped_ && elapsed() >= o_.time_limit) stop(Stop::time_limit);
            return stopped_;
        };
        const PassTally tally = pass_.pass(Xt_, hooks);
        const int64_t taken = info_.moves - before;
        if (!tally.complete) return taken;
        info_.pass_pairs_done = all_pairs_;
        ++info_.sweeps;
        info_.screened += tally.settled;
        info_.touched = tally.touched;
        info_.pair_gap = tally.largest / scale();
        refresh();
        record();
        return taken;
    }

    // ---- proximal-gradient steps -------------------------------------------

    // One ManPG step with Armijo backtracking along the retraction. Returns
    // the decrease of F, or 0 when no step size gave enough of it.
    double prox_step()
    {
        const size_t total = static_cast<size_t>(n_) * r_;
        if (multiplier_.empty()) {
            multiplier_.assign(static_cast<size_t>(r_) * r_, 0.0);
            // t ≈ 1/L with L ≥ ‖A‖₂. Where A is (nearly) zero the L1 term
            // alone sets the scale; the line search and the retries below
            // correct a poor guess either way.
            double lam = 0;
            for (double l : p_.lambda) lam = std::max(lam, l);
            const double L = spectral_bound(p_);
            t_ = 1 / std::max(L, tl::step_guess_ratio * (L + lam) + tl::tiny);
            t_max_ = tl::step_max_factor * t_;
        }
        G_.resize(total);
        V_.resize(total);
        Y_.resize(total);
        zero_.resize(total);
        smooth_gradient(p_, AX_.full(), G_.data());
        double g2 = 0;
        for (double g : G_) g2 += g * g;
        grad_scale_ = std::max(1.0, std::sqrt(g2));
        // A failed line search usually means t was too long for the
        // retraction: retry with a shorter one before giving up.
        for (int attempt = 0; attempt < tl::step_retries; ++attempt) {
            prox_direction(p_, Xt_.data(), G_.data(), t_, multiplier_.data(), V_.data());
            double v2 = 0;
            for (double v : V_) v2 += v * v;
            mapping_ = std::sqrt(v2) / t_;
            if (!(v2 > 0)) return 0;
            double alpha = 1;
            for (int k = 0; k < tl::step_backtracks; ++k, alpha *= tl::backtrack) {
                for (size_t q = 0; q < total; ++q) {
                    Y_[q] = Xt_[q] + alpha * V_[q];
                    zero_[q] = Y_[q] == 0;
                }
                if (!polar(n_, r_, Y_.data())) continue;
                keep_zeros();
                snap_small(p_, Y_.data());
                AY_.compute(Y_.data());
                const double trial = objective(p_, Y_.data(), AY_);
                if (trial <= f_ - tl::armijo * alpha * v2 / t_ && trial < f_) {
                    const double gain = f_ - trial;
                    Xt_.swap(Y_);
                    AX_.swap(AY_);
                    f_ = trial;
                    ++info_.prox_steps;
                    if (k == 0) {
                        t_ = std::min(t_ * tl::step_grow, t_max_);
                    } else {
                        t_ *= tl::step_shrink;
                    }
                    return gain;
                }
            }
            t_ *= tl::step_retry_shrink;
        }
        return 0;
    }

    // The polar factor mixes the columns, so the exact zeros that the
    // soft threshold made come back as residues of the size of the
    // retraction's correction, and each one carries a full kink of the L1
    // term (and hides the point's sparsity from the certificates). When the
    // residues are small (below tl::residue_max), they are set back to zero and
    // XᵀX = I is restored by Newton steps that move only the other entries;
    // if that fails, the polar factor is kept.
    void keep_zeros()
    {
        const size_t total = Y_.size();
        double largest = 0;
        for (size_t q = 0; q < total; ++q) {
            zero_[q] = zero_[q] && p_.lambda[q % r_] > 0;
            if (zero_[q]) largest = std::max(largest, std::fabs(Y_[q]));
        }
        if (largest == 0 || largest > tl::residue_max) return;
        Z_ = Y_;
        for (size_t q = 0; q < total; ++q) {
            if (zero_[q]) Z_[q] = 0;
            zero_[q] = !zero_[q];
        }
        if (orthonormalize_on_pattern(n_, r_, Z_.data(), zero_.data())) Y_.swap(Z_);
    }

    // Prox steps until the measured progress says that the pair passes and
    // the certificates should take over. The phase ends
    //
    // - when a line search fails (no step size lowers F);
    // - with use_mapping, when the proximal gradient mapping is small:
    //   ‖V‖/t ≤ mapping_factor_·tol_stat·max(1, ‖∇f‖). V/t is the
    //   projected, shrunk gradient that the step follows (ManPG stops on
    //   it); where it is this small, X is stationary to about the tolerance
    //   of certificate (b). The exact measure (a few Newton–CG solves, far
    //   cheaper than a pass over all pairs) then confirms (b) before the
    //   phase ends, and what remains is for the pair passes to settle (a).
    //   Each time (b) fails, here or after the passes, the factor is cut
    //   tenfold, so that the proxy is not consulted again at once;
    // - when the gains no longer pay: proximal gradient steps converge
    //   linearly near a solution, each gain about ρ times the one before,
    //   so the gains still to come sum to about gain·ρ/(1 − ρ). With ρ
    //   measured over the last WINDOW steps (and the largest gain among
    //   them, since the step size adapts), the phase ends once that sum
    //   is below stall/100·max(1, |F|) (stall is tol of certificate (a)):
    //   then a pair pass finds next to nothing above its threshold and is
    //   cheap, since the pair bounds settle almost every pair. Leaving
    //   earlier was measured to cost more in passes than the prox steps it
    //   saved. Where the gains do not shrink steadily, `patience` steps in
    //   a row each gaining at most that much end it.
    void prox_phase(int64_t max_steps, double stall, int patience, bool use_mapping)
    {
        enter("prox");
        constexpr int WINDOW = tl::gain_window;
        double gains[WINDOW + 1] = {};
        int quiet = 0;
        for (int64_t s = 0; s < max_steps && !stopped_; ++s) {
            const double gain = prox_step();
            prox_step_taken_ = true;
            tick();
            if (gain <= 0) break;
            const double floor = tl::gain_tail * stall * scale();
            if (use_mapping && mapping_ <= mapping_factor_ * o_.tol_stat * grad_scale_) {
                // A pass costs far more than the measure: confirm first.
                if (measure_passes()) break;
                mapping_factor_ *= tl::mapping_cut;
            }
            for (int k = 0; k < WINDOW; ++k) gains[k] = gains[k + 1];
            gains[WINDOW] = gain;
            if (s >= WINDOW && gains[0] > 0) {
                // The step size adapts, so single gains wobble: the rate is
                // taken over the window and the tail from its largest gain.
                const double rho = std::pow(gain / gains[0], 1.0 / WINDOW);
                const double top = *std::max_element(gains, gains + WINDOW + 1);
                if (rho < 1 && top * rho / (1 - rho) <= floor) break;
            }
            if (gain <= floor) {
                if (++quiet >= patience) break;
            } else {
                quiet = 0;
            }
        }
        if (!stopped_) record();
    }

    // A prox phase without a step limit, whose stall test is judged against
    // the pairs' tolerance.
    void prox_phase_to_pairs(bool use_mapping)
    {
        prox_phase(std::numeric_limits<int64_t>::max(), o_.tol, tl::prox_patience, use_mapping);
    }

    // ---- the two certificates ------------------------------------------------

    double stationarity_now()
    {
        std::vector<double> G(Xt_.size());
        const double* AXt = AX_.full();
        smooth_gradient(p_, AXt, G.data());
        double g2 = 0;
        for (double v : G) g2 += v * v;
        info_.stationarity_scale = std::max(1.0, std::sqrt(g2));
        const StationarityReport measure = stationarity_measure(p_, Xt_.data(), AXt);
        info_.stationarity = measure.value;
        info_.stationarity_converged = measure.converged;
        return info_.stationarity;
    }
    // The measure (b) at the current point holds its tolerance (X is left
    // as it is: no snap).
    bool measure_passes()
    {
        const StationarityReport m = stationarity_measure(p_, Xt_.data(), AX_.full());
        return m.converged && m.value <= o_.tol_stat * grad_scale_;
    }

    // Certificate (b). A snap that changed X voids the pass behind
    // certificate (a), so it counts as not stationary yet. A measure whose
    // Newton iteration did not converge is only an upper bound of the
    // minimum and certifies nothing. A failure sends the next prox phase
    // further (see prox_phase).
    bool stationary()
    {
        if (snap_step()) return false;
        const bool ok = stationarity_now() <= o_.tol_stat * info_.stationarity_scale &&
                        info_.stationarity_converged;
        if (!ok) mapping_factor_ *= tl::mapping_cut;
        return ok;
    }

    // Pair steps, prox steps and snaps taken so far: a round of the loops
    // below that adds none has stalled.
    int64_t progress() const { return info_.moves + info_.prox_steps + snaps_; }

    // Entries of a few ulps (below tl::snap_zero) left by rounding are not zeros, so
    // each carries a full kink into the stationarity measure, yet the pair
    // step that would zero one gains no more than the rounding floor. Zero
    // them all at once, restore XᵀX = I on the other entries, and keep the
    // result if F did not rise.
    bool snap_step()
    {
        const size_t total = Xt_.size();
        Z_ = Xt_;
        bool any = false;
        for (size_t q = 0; q < total; ++q) {
            if (Z_[q] != 0 && std::fabs(Z_[q]) <= tl::snap_zero && p_.lambda[q % r_] > 0) {
                Z_[q] = 0;
                any = true;
            }
        }
        if (!any) return false;
        zero_.resize(total);
        for (size_t q = 0; q < total; ++q) zero_[q] = Z_[q] != 0;
        if (!orthonormalize_on_pattern(n_, r_, Z_.data(), zero_.data())) return false;
        AY_.compute(Z_.data());
        const double trial = objective(p_, Z_.data(), AY_);
        if (!(trial <= f_)) return false;
        Xt_.swap(Z_);
        AX_.swap(AY_);
        f_ = trial;
        ++snaps_;
        return true;
    }

    // Sweeps until one takes no step above tol: certificate (a).
    void sweeps_to_certificate()
    {
        while (!stopped_ && sweep(o_.tol) > 0) {
        }
    }

    // Certificate (a) by sweeps, then certificate (b). Returns true when the
    // run has stopped: on a limit, certified, or with certify off.
    bool certify_round()
    {
        sweeps_to_certificate();
        if (stopped_) return true;
        if (!o_.certify) {
            stop(Stop::not_certified);
            return true;
        }
        if (!stationary()) return false;
        stop(Stop::certified);
        return true;
    }

    // ---- the rules -------------------------------------------------------------

    void run_mixed()
    {
        if (prox_allowed()) prox_phase_to_pairs(true);
        for (int round = 0; !stopped_; ++round) {
            const int64_t moved = progress();
            if (certify_round()) return;
            // No pair gains more than tol, yet X is not first-order
            // stationary: move many rows at once, then take the small steps.
            if (prox_allowed()) prox_phase_to_pairs(true);
            if (stopped_) return;
            sweep(0);
            if (stopped_) return;
            if (progress() == moved) return stop(Stop::stalled);
            if (round >= tl::max_rounds) return stop(Stop::not_certified);
        }
    }

    void run_sweeps()
    {
        for (int round = 0; !stopped_; ++round) {
            const int64_t moved = progress();
            if (certify_round()) return;
            if (!fine_sweeps(round, moved)) return;
        }
    }

    // At a point where no pair gains more than tol but X is not first-order
    // stationary, a pass that takes every gain above rounding. Returns false
    // (after stopping) when nothing has moved since `moved` was taken or the
    // rounds are used up.
    bool fine_sweeps(int round, int64_t moved)
    {
        sweep(0);
        if (stopped_) return false;
        if (progress() == moved || round >= tl::max_rounds) {
            stop(progress() == moved ? Stop::stalled : Stop::not_certified);
            return false;
        }
        return true;
    }

    bool prox_allowed() const { return o_.prox; }

    void run_prox()
    {
        prox_phase_to_pairs(false);
        if (stopped_) return;
        if (!o_.certify) return stop(Stop::not_certified);
        snap_step();
        sweep(o_.tol, true);
        if (stopped_) return;
        const bool pairs_done = info_.pair_gap <= o_.tol;
        if (stationary() && pairs_done) return stop(Stop::certified);
        stop(Stop::not_certified);
    }

    // Greedy (zandrel, tolmiv) or uniformly drawn pairs. After every n steps
    // that together gained no more than tol, a certifying pass decides; with
    // certify off the run ends there instead, with no pass.
    void run_greedy()
    {
        const size_t total = static_cast<size_t>(n_) * r_;
        std::vector<double> Ht;
        if (o_.rule == Rule::zandrel || o_.rule == Rule::tolmiv) Ht.resize(total);
        enter("pairs");
        double window_f = f_;
        int64_t window = 0;
        int rounds = 0;
        while (!stopped_) {
            int32_t i, j;
            if (Ht.empty()) {
                i = uniform_index();
                do {
                    j = uniform_index();
                } while (j == i);
            } else {
                least_norm_subgradient(Ht.data());
                const ColumnPair pair =
                    o_.rule == Rule::zandrel
                        ? select_pair_with<pair_rules::MaxReductionRule>(gen_, Xt_.data(), Ht.data(),
                                                                         n_, r_, o_.n_trials)
                        : select_pair_with<pair_rules::MaxViolationRule>(gen_, Xt_.data(), Ht.data(),
                                                                         n_, r_, o_.n_trials);
                i = pair.i;
                j = pair.j;
            }
            try_pair(i, j, 0);
            if (tick()) return;
            if (++window < n_) continue;
            if (window_f - f_ > o_.tol * scale()) {
                window = 0;
                window_f = f_;
                continue;
            }
            if (!o_.certify) return stop(Stop::not_certified);
            const int64_t moved = progress();
            if (sweep(o_.tol) == 0) {
                if (stopped_) return;
                if (stationary()) return stop(Stop::certified);
                if (!fine_sweeps(rounds++, moved)) return;
            }
            if (stopped_) return;
            enter("pairs");
            window = 0;
            window_f = f_;
        }
    }

    // A row index drawn uniformly from 0 … n − 1 off the run's generator:
    // one value, or where its range falls short of n several, composed as
    // the selectors compose them (pair_frame::draw_value), so that every row
    // can come up. Values past the largest multiple of n that the draw covers
    // are drawn again, which leaves every row exactly equally likely.
    int32_t uniform_index()
    {
        using Gen = RunGenerator;
        const int32_t draws = pair_frame::draws_per_index<Gen>(n_);
        uint64_t span = 1;
        for (int32_t d = 0; d < draws; ++d) span *= static_cast<uint64_t>(Gen::max) + 1;
        const uint64_t n = static_cast<uint64_t>(n_);
        const uint64_t limit = span - span % n;
        uint64_t value;
        do {
            value = pair_frame::draw_value(gen_, draws);
        } while (value >= limit);
        return static_cast<int32_t>(value % n);
    }

    // Transposed entrywise least-norm subgradient of F: ∇f + λ·sign(x) where
    // x ≠ 0 and the soft threshold of ∇f by λ where x = 0. The selectors see
    // it as the gradient.
    void least_norm_subgradient(double* Ht)
    {
        smooth_gradient(p_, AX_.full(), Ht);
        for (int32_t i = 0; i < n_; ++i) {
            const double* x = Xt_.data() + static_cast<size_t>(r_) * i;
            double* h = Ht + static_cast<size_t>(r_) * i;
            for (int32_t c = 0; c < r_; ++c) {
                const double lam = p_.lambda[c];
                if (lam == 0) continue;
                if (x[c] > 0) {
                    h[c] += lam;
                } else if (x[c] < 0) {
                    h[c] -= lam;
                } else if (h[c] > lam) {
                    h[c] -= lam;
                } else if (h[c] < -lam) {
                    h[c] += lam;
                } else {
                    h[c] = 0;
                }
            }
        }
    }

    const Problem& p_;
    Options o_;
    std::vector<double>& Xt_;
    const ProgressHook& hook_;
    const int32_t n_, r_;
    Products AX_, AY_;               // at Xt_, and at a trial point
    std::vector<double> rows_, diff_;
    std::vector<double> G_, V_, Y_, multiplier_;
    std::vector<unsigned char> zero_;
    std::vector<double> Z_;
    double f_ = 0;
    double t_ = 0, t_max_ = 0;
    int64_t all_pairs_ = 0, progress_every_ = 0, next_progress_ = 0;
    double next_print_ = 0;          // elapsed time of the next progress point
    int64_t refresh_every_ = 0, moves_since_refresh_ = 0;
    bool stopped_ = false;
    bool prox_step_taken_ = false;   // the iteration just ended was a prox step
    bool screen_ = true;
    double mapping_ = 0;             // ‖V‖/t of the last prox direction
    double grad_scale_ = 1;          // max(1, ‖∇f‖_F) where it was formed
    double mapping_factor_ = 1;      // see prox_phase
    int64_t snaps_ = 0;
    PassScreen pass_;
    // The run's own generator of random pairs, seeded from the seed option;
    // the process's rand() is never drawn from.
    RunGenerator gen_;
    Info info_;
    Clock::time_point start_;
};

}  // namespace

Info run(const Problem& problem, const Options& options, std::vector<double>& Xt,
         const ProgressHook& hook)
{
    Engine engine(problem, options, Xt, hook);
    return engine.run();
}

}  // namespace method
