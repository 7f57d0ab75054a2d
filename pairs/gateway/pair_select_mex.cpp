// The gateway of both working-pair selectors; the build picks one with
//   -DPAIR_SELECT_TOLMIV   tolmiv: maximum-violation rule
//   -DPAIR_SELECT_ZANDREL  zandrel: objective-reduction rule
//
// name(A, B, n_cols, n_rows, n_trials) returns the chosen pair [i; j],
// 1-based, as a 2×1 double column; [1; 2] when no pair was scored.
// A, B: real double arrays holding n_rows·n_cols elements each, column-major.
// n_cols, n_rows, n_trials: numbers truncated toward zero to 32-bit counts
// (NaN or out of range gives −2³¹). Inputs past the fifth are ignored.
// Draws come from the C runtime's rand(), which is never seeded here.

#include "common/mex_args.h"
#include "pair_select.h"

#if defined(PAIR_SELECT_TOLMIV) && !defined(PAIR_SELECT_ZANDREL)
#define PAIR_SELECT_NAME "tolmiv"
#define PAIR_SELECT_ENTRY select_pair_max_violation
#elif defined(PAIR_SELECT_ZANDREL) && !defined(PAIR_SELECT_TOLMIV)
#define PAIR_SELECT_NAME "zandrel"
#define PAIR_SELECT_ENTRY select_pair_max_reduction
#else
#error "define exactly one of PAIR_SELECT_TOLMIV and PAIR_SELECT_ZANDREL"
#endif

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    const mex_args::Gateway gateway(PAIR_SELECT_NAME, nrhs, prhs);
    gateway.require_arg_counts(nlhs, 5, "A, B, n_cols, n_rows, n_trials");

    const double* A = gateway.real_double(0, "A", 0);
    const double* B = gateway.real_double(1, "B", 0);
    const int32_t n_cols = gateway.count(2, "n_cols");
    const int32_t n_rows = gateway.count(3, "n_rows");
    const int32_t n_trials = gateway.count(4, "n_trials");
    if (n_cols > 0 && n_rows > 0) {
        const uint64_t elements = static_cast<uint64_t>(n_rows) * static_cast<uint64_t>(n_cols);
        gateway.require_elements(0, "A", elements, "n_rows*n_cols");
        gateway.require_elements(1, "B", elements, "n_rows*n_cols");
    }

    // The result belongs to the host from here on; the selection writes into it.
    plhs[0] = mxCreateDoubleMatrix(2, 1, mxREAL);
    double* out = mxGetPr(plhs[0]);

    const mex_args::KernelStatus status = mex_args::run_kernel(
        [&] { PAIR_SELECT_ENTRY(A, B, n_cols, n_rows, n_trials, out); });
    if (status.kind != mex_args::KernelStatus::ok) {
        mxDestroyArray(plhs[0]);
        plhs[0] = nullptr;
        gateway.kernel_failed(status);
    }
}
