// The MEX-file zandrel: the selectors' gateway with the objective-reduction rule.

#include "pair_select_gateway.h"

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    pair_select_gateway("zandrel", select_pair_max_reduction, nlhs, plhs, nrhs, prhs);
}
