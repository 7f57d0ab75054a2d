#include "max_violation_rule.h"
#include "pair_select.h"

double max_violation_score(PairLanes lanes, const double* a_i, const double* a_j,
                           const double* b_i, const double* b_j, int64_t n_rows) {
    return pair_frame::score_on<pair_rules::MaxViolationRule>(lanes, a_i, a_j, b_i, b_j, n_rows);
}

void select_pair_max_violation_on(PairLanes lanes, const double* A, const double* B,
                                  int32_t n_cols, int32_t n_rows, int32_t n_trials,
                                  double* out) {
    pair_frame::CRand gen;
    pair_frame::select_pair_on<pair_rules::MaxViolationRule>(lanes, A, B, n_cols, n_rows,
                                                             n_trials, out, gen);
}

void select_pair_max_violation(const double* A, const double* B, int32_t n_cols,
                               int32_t n_rows, int32_t n_trials, double* out) {
    select_pair_max_violation_on(chosen_pair_lanes(), A, B, n_cols, n_rows, n_trials, out);
}
