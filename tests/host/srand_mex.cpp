// Test helper srand_seed: control of the process's C rand() generator, which
// tolmiv and zandrel draw from and never seed.
//
//   srand_seed(seed)       seeds the generator with srand(seed), 0 <= seed < 2^31
//   d = srand_seed([], k)  returns its next k values of rand() as a 1-by-k
//                          double row, without seeding

#include "matlab/mex_args.h"

#include <cstdlib>

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    const mex_args::Gateway gateway("srand_seed", nrhs, prhs);
    gateway.require_arg_counts(nlhs, 1, "seed");
    if (!mxIsEmpty(prhs[0])) {
        const int32_t seed = gateway.count(0, "seed");
        if (seed < 0) {
            gateway.fail("badSeed", "the seed must lie in 0 ... 2^31 - 1.");
        }
        std::srand(static_cast<unsigned>(seed));
    }
    if (nrhs >= 2) {
        const int32_t k = gateway.count(1, "k");
        plhs[0] = mxCreateDoubleMatrix(1, k > 0 ? k : 0, mxREAL);
        double* draws = mxGetPr(plhs[0]);
        for (int32_t i = 0; i < k; ++i) {
            draws[i] = std::rand();
        }
    }
}
