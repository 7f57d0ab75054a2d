#pragma once

// brevak(Q, G, lambda, z1, z2, n): the 2×2 rotation or reflection V that
// minimises ½·vec(V)ᵀ·Q·vec(V) + ⟨G, V⟩ + lambda·‖V·[z1; z2]‖₁; with a second
// output, [V, f] = brevak(...), also that minimum f as the search found it.
//
// Q: at least 16 doubles (4×4, diagonal and upper triangle read); G: at least
// 4 doubles; lambda: a number; z1, z2: the first n doubles are read; n: a
// count truncated toward zero (n ≤ 0 means no pairs). Every value read must be
// finite: a NaN or infinity would only make the solver return an arbitrary
// axis point as if it were the answer. Inputs past the sixth are ignored.
//
// The gateway takes the heap for the solver's scratch arrays as an argument:
// the MEX-file passes the C heap, a test build one that fails on demand.

#include "mex_args.h"
#include "orthogonal_2x2.h"

inline void brevak_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[],
                           const ScratchHeap& heap)
{
    const mex_args::Gateway gateway("brevak", nrhs, prhs);
    gateway.require_arg_counts(nlhs, 6, "Q, G, lambda, z1, z2, n", 2);

    const double* Q = gateway.real_double(0, "Q", 16);
    const double* G = gateway.real_double(1, "G", 4);
    const double lambda = gateway.scalar(2, "lambda");
    const double* z1 = gateway.real_double(3, "z1", 0);
    const double* z2 = gateway.real_double(4, "z2", 0);
    const int32_t n = gateway.count(5, "n");
    if (n > MAX_PAIR_COUNT) {
        gateway.fail("tooManyPairs", "argument 6 (n) must be at most %d; got %d.",
                     static_cast<int>(MAX_PAIR_COUNT), static_cast<int>(n));
    }
    const int64_t pairs = n > 0 ? n : 0;
    gateway.require_elements(3, "z1", static_cast<uint64_t>(pairs), "n");
    gateway.require_elements(4, "z2", static_cast<uint64_t>(pairs), "n");

    // Exactly the values the solver reads, in argument order; the strict
    // lower triangle of Q is never read and may hold anything.
    const int q = mex_args::first_non_finite_upper(Q);
    if (q >= 0) {
        char what[16];
        mex_args::Gateway::describe_value(Q[q], what, sizeof what);
        gateway.fail("notFinite",
                     "argument 1 (Q) must be finite on and above the diagonal of the 4-by-4 "
                     "matrix it is read as; element %d (row %d, column %d) is %s.",
                     q + 1, q % 4 + 1, q / 4 + 1, what);
    }
    gateway.require_finite(1, "G", G, 4);
    gateway.require_finite_scalar(2, "lambda", lambda);
    gateway.require_finite(3, "z1", z1, pairs);
    gateway.require_finite(4, "z2", z2, pairs);

    // The result belongs to the host from here on; the solver writes into it.
    plhs[0] = mxCreateDoubleMatrix(2, 2, mxREAL);
    double* V = mxGetPr(plhs[0]);
    double value = 0.0;

    const mex_args::KernelStatus status = mex_args::run_kernel(
        [&] { solve_orthogonal_2x2(Q, G, lambda, z1, z2, n, V, &value, heap); });
    if (status.kind != mex_args::KernelStatus::ok) {
        mxDestroyArray(plhs[0]);
        plhs[0] = nullptr;
        gateway.kernel_failed(status);
    }
    if (nlhs >= 2) {
        plhs[1] = mxCreateDoubleScalar(value);
    }
}
