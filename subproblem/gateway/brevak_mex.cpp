// brevak(Q, G, lambda, z1, z2, n): the 2×2 rotation or reflection V that
// minimises ½·vec(V)ᵀ·Q·vec(V) + ⟨G, V⟩ + lambda·‖V·[z1; z2]‖₁.
//
// Q: at least 16 doubles (4×4, diagonal and upper triangle read); G: at least
// 4 doubles; lambda: a number; z1, z2: the first n doubles are read; n: a
// number truncated toward zero to a 32-bit count (NaN or out of range gives
// no pairs). Returns V as a 2×2 double matrix. Inputs past the sixth are
// ignored.

#include "common/mex_args.h"
#include "orthogonal_2x2.h"

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    const mex_args::Gateway gateway("brevak", nrhs, prhs);
    gateway.require_arg_counts(nlhs, 6, "Q, G, lambda, z1, z2, n");

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
    if (n > 0) {
        gateway.require_elements(3, "z1", static_cast<uint64_t>(n), "n");
        gateway.require_elements(4, "z2", static_cast<uint64_t>(n), "n");
    }

    // The result belongs to the host from here on; the solver writes into it.
    plhs[0] = mxCreateDoubleMatrix(2, 2, mxREAL);
    double* V = mxGetPr(plhs[0]);

    const mex_args::KernelStatus status =
        mex_args::run_kernel([&] { solve_orthogonal_2x2(Q, G, lambda, z1, z2, n, V); });
    if (status.kind != mex_args::KernelStatus::ok) {
        mxDestroyArray(plhs[0]);
        plhs[0] = nullptr;
        gateway.kernel_failed(status);
    }
}
