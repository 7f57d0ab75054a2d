// Test build of brevak whose solver's heap allocations can be made to fail.
//
// The gateway is compiled with -Dsolve_orthogonal_2x2=solve_with_alloc_faults,
// and the link wraps operator new and new[] (-Wl,--wrap=_Znwm,--wrap=_Znam)
// for the solver's objects. Before each solver call the environment variable
// ORTHOPAIR_ALLOC_FAULT is read as "<k> <kind>": the k-th allocation of that
// call (1-based) then throws, with kind
//   bad_alloc      std::bad_alloc, as a failed allocation does
//   runtime_error  a std::runtime_error
//   int            an exception that is no std::exception
// An unset or empty variable lets every allocation through.

// The renaming macro is meant for the gateway only; here the real solver is
// called by its own name.
#undef solve_orthogonal_2x2

#include "orthogonal_2x2.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

enum class FaultKind { bad_alloc, runtime_error, other };

long remaining_before_fault = 0;  // 0: no fault armed
FaultKind fault_kind = FaultKind::bad_alloc;

void maybe_fault()
{
    if (remaining_before_fault == 0 || --remaining_before_fault != 0) {
        return;
    }
    switch (fault_kind) {
    case FaultKind::bad_alloc: throw std::bad_alloc();
    case FaultKind::runtime_error: throw std::runtime_error("injected failure");
    case FaultKind::other: throw 42;
    }
}

}  // namespace

extern "C" {
void* __real__Znwm(std::size_t size);
void* __real__Znam(std::size_t size);

void* __wrap__Znwm(std::size_t size)
{
    maybe_fault();
    return __real__Znwm(size);
}

void* __wrap__Znam(std::size_t size)
{
    maybe_fault();
    return __real__Znam(size);
}
}

void solve_with_alloc_faults(const double* Q, const double* G, double lambda, const double* z1,
                             const double* z2, int32_t n, double* V)
{
    remaining_before_fault = 0;
    fault_kind = FaultKind::bad_alloc;
    if (const char* spec = std::getenv("ORTHOPAIR_ALLOC_FAULT")) {
        char* rest = nullptr;
        const long k = std::strtol(spec, &rest, 10);
        if (k > 0) {
            remaining_before_fault = k;
            while (*rest == ' ') ++rest;
            if (std::strcmp(rest, "runtime_error") == 0) fault_kind = FaultKind::runtime_error;
            if (std::strcmp(rest, "int") == 0) fault_kind = FaultKind::other;
        }
    }
    struct Disarm {
        ~Disarm() { remaining_before_fault = 0; }
    } disarm;
    solve_orthogonal_2x2(Q, G, lambda, z1, z2, n, V);
}
