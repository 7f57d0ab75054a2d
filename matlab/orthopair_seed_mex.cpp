// orthopair_seed(k) seeds the C runtime's rand() generator with srand(k), for
// a whole number 0 <= k < 2^32. The pair selectors (tolmiv, zandrel) draw from
// that generator and never seed it, so seeded calls are reproducible within
// one process and one C runtime. orthopair_run does not use it: each run
// owns a generator seeded by its option seed.

#include "mex_args.h"

#include <cmath>
#include <cstdlib>

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    (void)plhs;
    const mex_args::Gateway gateway("orthopair_seed", nrhs, prhs);
    if (nrhs != 1) {
        gateway.fail("nargin", "expected 1 input (k), got %d.", nrhs);
    }
    if (nlhs > 0) {
        gateway.fail("nargout", "returns no output, %d requested.", nlhs);
    }
    const mxArray* a = prhs[0];
    if (mxGetNumberOfElements(a) != 1) {
        gateway.fail("badSeed", "k must be a single number, got %llu elements.",
                     static_cast<unsigned long long>(mxGetNumberOfElements(a)));
    }
    const double k = gateway.scalar(0, "k");
    if (!(k >= 0 && k < 4294967296.0) || k != std::floor(k)) {
        gateway.fail("badSeed", "k must be a whole number in 0 ... 2^32 - 1, got %g.", k);
    }
    std::srand(static_cast<unsigned>(k));
}
