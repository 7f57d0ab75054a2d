#pragma once

// The gateway shared by the two working-pair selectors; tolmiv_mex.cpp and
// zandrel_mex.cpp each call it with their name and rule.
//
// name(A, B, n_cols, n_rows, n_trials) returns the chosen pair [i; j],
// 1-based, as a 2×1 double column; [1; 2] when no pair was scored.
// A, B: real double arrays holding n_rows·n_cols elements each, read
// column-major whatever their shape. n_cols, n_rows, n_trials: counts
// truncated toward zero; NaN, ±∞ and values out of the 32-bit range are
// refused, and so are negative n_cols and n_rows (a negative n_trials keeps
// its meaning: nothing to score). Inputs past the fifth are ignored. Draws
// come from the C runtime's rand(), which is never seeded here.

#include "mex_args.h"
#include "pair_select.h"

// A selection rule's entry: (A, B, n_cols, n_rows, n_trials, out).
using PairSelectEntry = void (*)(const double*, const double*, int32_t, int32_t, int32_t,
                                 double*);

inline void pair_select_gateway(const char* name, PairSelectEntry entry, int nlhs,
                                mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    const mex_args::Gateway gateway(name, nrhs, prhs);
    gateway.require_arg_counts(nlhs, 5, "A, B, n_cols, n_rows, n_trials");

    const double* A = gateway.real_double(0, "A", 0);
    const double* B = gateway.real_double(1, "B", 0);
    const int32_t n_cols = gateway.count(2, "n_cols", mex_args::Sign::non_negative);
    const int32_t n_rows = gateway.count(3, "n_rows", mex_args::Sign::non_negative);
    const int32_t n_trials = gateway.count(4, "n_trials");
    // Both counts are at least 0 here; the product of two 31-bit numbers fits.
    const uint64_t elements = static_cast<uint64_t>(n_rows) * static_cast<uint64_t>(n_cols);
    gateway.require_elements(0, "A", elements, "n_rows*n_cols");
    gateway.require_elements(1, "B", elements, "n_rows*n_cols");

    // The result belongs to the host from here on; the selection writes into it.
    plhs[0] = mxCreateDoubleMatrix(2, 1, mxREAL);
    double* out = mxGetPr(plhs[0]);

    const mex_args::KernelStatus status =
        mex_args::run_kernel([&] { entry(A, B, n_cols, n_rows, n_trials, out); });
    if (status.kind != mex_args::KernelStatus::ok) {
        mxDestroyArray(plhs[0]);
        plhs[0] = nullptr;
        gateway.kernel_failed(status);
    }
}
