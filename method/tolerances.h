#pragma once
// The solver's own tolerances and thresholds, in one place: what each one
// measures and why it has its value. The user's tolerances (tol, tol_stat,
// ...) are options, not these.
//
// Margins are written as a multiple of eps; a power of two times eps, and
// its product with a whole number, are exact, so the order in which such a
// margin is multiplied out changes no bit.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace method {
namespace tolerances {

// ---- Rounding --------------------------------------------------------------

// The spacing of doubles at 1 (2⁻⁵², twice the unit roundoff), the base of
// every rounding margin.
constexpr double eps = std::numeric_limits<double>::epsilon();

// A positive floor far below any meaningful value: added to a divisor or a
// shift, it keeps a quotient finite and a system definite where the true
// value is exactly zero, and changes nothing otherwise.
constexpr double tiny = 1e-300;

// ---- Input -----------------------------------------------------------------

// A is accepted as symmetric when |A(i, j) − A(j, i)| ≤ symmetry·max|A|:
// some thousands of ulps of the largest entry, room for what forming A as
// BᵀB or (B + Bᵀ)/2 in another order leaves, yet far below a genuine
// asymmetry. The solver then works on the exactly symmetric part.
constexpr double symmetry = 1e-12;

// A start X0 is accepted when ‖X0ᵀX0 − I‖_F ≤ start_feasibility: what an
// orthonormal basis computed in double precision (QR, SVD, orth) meets with
// a wide margin; the run restores XᵀX = I to rounding from there.
constexpr double start_feasibility = 1e-8;

// ---- What counts as zero ---------------------------------------------------

// An entry of X at most rounding_zero·max(1, |sizes it was formed from|) is an
// exact zero: the columns of X have unit norm, so it lies below the rounding
// level of every sum it enters, yet as a nonzero it would carry a full kink
// of the L1 term.
constexpr double rounding_zero = 8 * eps;

// Entries below this are zeros for the linearisation of the L1 term in the
// pair model: the polar retraction leaves residues of about this size where
// the proximal step made zeros. Treating one as zero costs the bound at most
// 2·λ·|z|, which the model accounts for.
constexpr double residue_zero = 1e-9;

// Entries of a few ulps up to this are zeroed together by the snap step (the
// pair step that zeroes one gains no more than its rounding floor).
constexpr double snap_zero = 1e-10;

// After a prox step, the residues where the soft threshold made zeros are
// set back to zero only when all are below this; larger ones are genuine
// movement of the retraction and are kept.
constexpr double residue_max = 1e-6;

// ---- Rounding margins of the pair step and the pair bounds -----------------

// The rounding floor of a pair step: 16·eps of the sum of the sizes of its
// terms. A step must gain more than that to count as a decrease.
constexpr double step_floor = 16 * eps;

// Margin added to every pair bound: 64·eps of the sizes of the model's
// coefficients, covering the rounding of the model, the root finder and the
// final subtractions.
constexpr double bound_margin = 64 * eps;

// Extra margin of the closed-form bound of both families, on the sizes of
// their circle coefficients (q(0), the quotient, the final subtraction).
constexpr double closed_margin = 16 * eps;

// The same for the closed-form bound per quadrant, on the largest quadrant's
// coefficient size (one more rounded sum in each coefficient).
constexpr double quadrant_margin = 32 * eps;

// Slack by which the closed-form circle floor raises the slope and lowers the
// curvature: 4·eps of the sums of the sizes of their terms.
constexpr double circle_slack = 4 * eps;

// Margin of a group bound over pairs of zero rows, times (r + 8) and the
// coefficient sizes: each coefficient sums a few r-term sums.
constexpr double group_margin = 16 * eps;

// Margin of a zero-row key, times (r + 2) and the sum of its terms' sizes:
// |fl(Σ t_k) − Σ t_k| ≤ (r + 1)·eps·Σ|t_k| for the products and the sum.
constexpr double key_margin = 2 * eps;

// Relative rounding of a Cauchy–Schwarz bound sqrt(|a|·|b|): a few ulps.
constexpr double cauchy_schwarz_margin = 4 * eps;

// ---- Orthonormality --------------------------------------------------------

// ‖XᵀX − I‖_F above which a refresh restores XᵀX = I; below it the rank-2
// updates' drift is at the rounding level of the products.
constexpr double refresh_feasibility = 1e-13;

// Newton on the pattern of nonzeros restores XᵀX = I to max(orthonormal_floor,
// orthonormal_floor_per_column·r): the rounding floor of ‖XᵀX − I‖_F grows
// with r (r² entries, each a sum of n products), 1e-15 at small r, 1e-14 at
// r = 50.
constexpr double orthonormal_floor = 1e-15, orthonormal_floor_per_column = 2e-16;

// Newton steps it takes at most; the convergence is quadratic, so a few
// suffice from any start it accepts.
constexpr int orthonormal_steps = 10;

// The largest defect it starts from: beyond that the linearisation is not
// trusted and the caller falls back on the polar factor.
constexpr double orthonormal_reach = 1e-2;

// Relative residual of its linear solve: the quadratic term ΔᵀΔ is of the
// order of defect², so 1e-10 keeps the convergence quadratic down to the
// rounding level.
constexpr double orthonormal_cg = 1e-10;

// ---- Multiplier systems (Newton–CG on symmetric multipliers) --------------

// Shift of a multiplier system, relative to the size of its diagonal: it
// only guards against rounding where the mask leaves a direction flat.
constexpr double shift_relative = 1e-12;

// The guard shift of a system whose diagonal has the given mean size.
inline double guard_shift(double mean_diagonal)
{
    return shift_relative * std::max(mean_diagonal, tiny) + tiny;
}

// Conjugate gradients stop after cg_steps_per_unknown steps per unknown plus
// cg_steps_extra unless the caller sets a cap: in exact arithmetic CG ends
// within one step per unknown, and rounding may cost as many again.
constexpr size_t cg_steps_per_unknown = 2, cg_steps_extra = 10;

// ---- The proximal direction (semismooth Newton on the tangency defect) ----

// The defect is solved to max(defect_floor, defect_ratio·‖V‖²): it need only
// be small against what the retraction corrects anyway (XᵀX − I after X + V
// is XᵀV + VᵀX + VᵀV).
constexpr double defect_floor = 1e-13, defect_ratio = 1e-3;

// Newton steps, CG steps per solve and halvings per line search at most.
constexpr int defect_newton_steps = 40, defect_cg_steps = 200, defect_backtracks = 40;

// Forcing term of the inexact solve, min(forcing_max, ‖E‖) kept above
// forcing_min: superlinear local convergence, no work below rounding.
constexpr double forcing_min = 1e-12, forcing_max = 1e-2;

// Newton stops when a step gains at most this fraction of the merit.
constexpr double defect_stall = 1e-14;

// ---- Line searches ---------------------------------------------------------

// Sufficient decrease (Armijo) of every backtracking line search: a small
// fraction of the predicted decrease, as usual.
constexpr double armijo = 1e-4;

// Each backtracking step halves the step (exact in binary).
constexpr double backtrack = 0.5;

// ---- The stationarity measure ----------------------------------------------

// Converged when ‖gradient‖ ≤ max(measure_relative·value,
// measure_floor·max(1, ‖∇f‖)): negligible against the measure itself, or
// against the rounding in forming ∇f − X·Λ.
constexpr double measure_relative = 1e-9, measure_floor = 1e-13;

// Newton steps and halvings per line search at most, and the relative
// residual of each CG solve.
constexpr int measure_newton_steps = 100, measure_backtracks = 60;
constexpr double measure_cg = 1e-8;

// ---- The proximal-gradient phase ------------------------------------------

// The first step size is 1/max(L, step_guess_ratio·(L + max λ)), L ≥ ‖A‖₂:
// where A is (nearly) zero the L1 term alone sets the scale.
constexpr double step_guess_ratio = 1e-3;

// The step size never grows past step_max_factor times the first guess.
constexpr double step_max_factor = 100;

// A step accepted at once lengthens the next by step_grow; one accepted only
// after backtracking shortens it by step_shrink.
constexpr double step_grow = 1.1, step_shrink = 0.7;

// A failed line search (step_backtracks halvings) is retried with the step
// size cut by step_retry_shrink, step_retries times at most.
constexpr int step_backtracks = 12, step_retries = 6;
constexpr double step_retry_shrink = 0.25;

// Gains over which the linear rate of the prox phase is measured.
constexpr int gain_window = 10;

// The phase ends when the gains still to come are below gain_tail times the
// pair passes' tolerance: a pass then finds next to nothing above it.
constexpr double gain_tail = 0.01;

// Steps in a row gaining below that which end the phase.
constexpr int prox_patience = 3;

// Each failed stationarity check cuts the factor on the mapping's stopping
// test tenfold, so that the proxy is not consulted again at once.
constexpr double mapping_cut = 0.1;

// ---- Passes and rounds -----------------------------------------------------

// The least relative threshold of a pass: a pass at threshold 0 still
// ignores gains below 1e-15·max(1, |F|), within rounding of F itself.
constexpr double pass_threshold_floor = 1e-15;

// Rounds of (passes, stationarity check, prox phase) before the run stops
// uncertified.
constexpr int max_rounds = 50;

// Pair moves between refreshes of A·X and F from scratch: at least 2n, and
// at least this many so that small problems do not refresh all the time.
constexpr int64_t refresh_moves = 1000;

// ---- Operators -------------------------------------------------------------

// Power-iteration steps for the bound of ‖A‖₂, and the factor that makes the
// estimate (from below) a safe upper bound for the step size.
constexpr int power_steps = 60;
constexpr double norm_bound_factor = 1.02;

// A product gathers the rows of X that are not zero when fewer than
// live_share_num/live_share_den of them are live; otherwise it multiplies
// the whole of X.
constexpr size_t live_share_num = 3, live_share_den = 4;

// ---- Symmetric eigenvalues (cyclic Jacobi) --------------------------------

// Sweeps at most, and the off-diagonal mass (squared) relative to the
// diagonal's below which the matrix is diagonal to rounding (1e-17 squared).
constexpr int jacobi_sweeps = 100;
constexpr double jacobi_off = 1e-34;

}  // namespace tolerances
}  // namespace method
