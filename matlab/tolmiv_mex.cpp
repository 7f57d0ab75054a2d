// The MEX-file tolmiv: the selectors' gateway with the maximum-violation rule.

#include "pair_select_gateway.h"

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    pair_select_gateway("tolmiv", select_pair_max_violation, nlhs, plhs, nrhs, prhs);
}
