// Test build of brevak whose scratch heap fails on demand.
//
// The same gateway as brevak, handed a heap that counts the allocations of
// one call. Before each call the environment variable ORTHOPAIR_ALLOC_FAULT
// is read as "<k> <kind>": the k-th allocation of that call (1-based) then
// fails, with kind
//   null           the heap returns no memory, as malloc does when it has none
//   bad_alloc      the heap throws std::bad_alloc
//   runtime_error  the heap throws a std::runtime_error
//   int            the heap throws an exception that is no std::exception
// An unset or empty variable lets every allocation through. Every block given
// out is counted back, and a call that returns with a block outstanding
// raises the error brevak_alloc_fault:leak.

#include "brevak_gateway.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

enum class FaultKind { null, bad_alloc, runtime_error, other };

// The state of one call. It lives on mexFunction's stack and owns nothing,
// so a host error may leave it behind.
struct FaultPlan {
    long fail_at = 0;  // 0: never
    FaultKind kind = FaultKind::null;
    long allocations = 0;
    long outstanding = 0;
};

FaultPlan read_plan()
{
    FaultPlan plan;
    const char* text = std::getenv("ORTHOPAIR_ALLOC_FAULT");
    if (text == nullptr) return plan;
    char* rest = nullptr;
    const long k = std::strtol(text, &rest, 10);
    if (k <= 0) return plan;
    plan.fail_at = k;
    while (*rest == ' ') ++rest;
    if (std::strcmp(rest, "bad_alloc") == 0) plan.kind = FaultKind::bad_alloc;
    if (std::strcmp(rest, "runtime_error") == 0) plan.kind = FaultKind::runtime_error;
    if (std::strcmp(rest, "int") == 0) plan.kind = FaultKind::other;
    return plan;
}

void* allocate(void* context, std::size_t bytes)
{
    FaultPlan& plan = *static_cast<FaultPlan*>(context);
    if (++plan.allocations == plan.fail_at) {
        switch (plan.kind) {
        case FaultKind::null: return nullptr;
        case FaultKind::bad_alloc: throw std::bad_alloc();
        case FaultKind::runtime_error: throw std::runtime_error("injected failure");
        case FaultKind::other: throw 42;
        }
    }
    void* block = std::malloc(bytes);
    if (block != nullptr) ++plan.outstanding;
    return block;
}

void release(void* context, void* block)
{
    FaultPlan& plan = *static_cast<FaultPlan*>(context);
    if (block != nullptr) --plan.outstanding;
    std::free(block);
}

}  // namespace

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    FaultPlan plan = read_plan();
    const ScratchHeap heap{allocate, release, &plan};
    brevak_gateway(nlhs, plhs, nrhs, prhs, heap);
    if (plan.outstanding != 0) {
        mexErrMsgIdAndTxt("brevak_alloc_fault:leak", "%ld scratch blocks were not returned.",
                          plan.outstanding);
    }
}
