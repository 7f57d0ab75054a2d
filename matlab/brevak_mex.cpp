// The MEX-file brevak: its gateway (brevak_gateway.h) with the solver's
// scratch arrays on the C heap.

#include "brevak_gateway.h"

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    brevak_gateway(nlhs, plhs, nrhs, prhs, C_HEAP);
}
