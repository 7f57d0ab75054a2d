#pragma once

// Argument checks and count conversion shared by the MEX gateways.
//
// A failed check raises a host error with the identifier "<function>:<reason>"
// and a message that names the argument, says what it must be and what it was.
// The host's error call does not return normally, so nothing here owns memory
// at the moment it is made: every buffer is a plain array on the stack.
//
// Reasons used by every gateway:
//   nargin         fewer inputs than the function takes
//   nargout        more than one output requested
//   notRealDouble  an array argument that is not a real, full double array
//   notRealScalar  a scalar argument that is empty, complex, sparse, or
//                  neither numeric nor logical
//   tooShort       an array with fewer elements than the call reads
//   outOfMemory    scratch memory could not be obtained
//   internal       any other failure inside the computation
// and brevak also
//   tooManyPairs   a pair count above what its solver can hold

#include "mex.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <type_traits>

// mexFunction is the one symbol a MEX-file exports; everything else is built
// with hidden visibility.
#if defined(_WIN32)
#define ORTHOPAIR_MEX_EXPORT extern "C" __declspec(dllexport)
#else
#define ORTHOPAIR_MEX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace mex_args {

// A count arriving from the host as a double, truncated toward zero to a
// 32-bit signed integer. NaN, and any value whose truncation lies outside
// −2³¹ … 2³¹ − 1, gives −2³¹. The open interval (−2³¹ − 1, 2³¹) holds exactly
// the doubles whose truncation fits; both ends are exact doubles and a NaN
// fails both comparisons, so the cast below never sees a value it cannot hold.
inline int32_t truncate_count(double value)
{
    if (value > -2147483649.0 && value < 2147483648.0) {
        return static_cast<int32_t>(value);
    }
    return INT32_MIN;
}

// What went wrong inside a kernel call, recorded while its exception is
// caught and reported once the handler has been left.
struct KernelStatus {
    enum Kind { ok, out_of_memory, failed } kind = ok;
    char detail[160] = {};
};

// Runs the kernel call f and turns any exception into a KernelStatus, so that
// no C++ exception ever crosses mexFunction.
template <class Call>
KernelStatus run_kernel(Call&& f) noexcept
{
    KernelStatus status;
    try {
        f();
    } catch (const std::bad_alloc&) {
        status.kind = KernelStatus::out_of_memory;
    } catch (const std::exception& e) {
        status.kind = KernelStatus::failed;
        std::snprintf(status.detail, sizeof status.detail, "%s", e.what());
    } catch (...) {
        status.kind = KernelStatus::failed;
        std::snprintf(status.detail, sizeof status.detail, "unknown exception");
    }
    return status;
}

// The checks of one gateway call. Positions are 0-based here and reported
// 1-based, as the caller wrote them.
class Gateway {
public:
    Gateway(const char* function, int nrhs, const mxArray* const* prhs)
        : function_(function), nrhs_(nrhs), prhs_(prhs) {}

    // At least min_inputs inputs (more are ignored) and at most one output.
    void require_arg_counts(int nlhs, int min_inputs, const char* input_names) const
    {
        if (nrhs_ < min_inputs) {
            fail("nargin", "expected at least %d inputs (%s), got %d.", min_inputs,
                 input_names, nrhs_);
        }
        if (nlhs > 1) {
            fail("nargout", "expected at most 1 output, got %d.", nlhs);
        }
    }

    // Input pos as a real, full double array of at least min_elements
    // elements; returns its data.
    const double* real_double(int pos, const char* name, uint64_t min_elements) const
    {
        const mxArray* a = prhs_[pos];
        if (!mxIsDouble(a) || mxIsComplex(a) || mxIsSparse(a)) {
            char what[96];
            describe(a, what, sizeof what);
            fail("notRealDouble", "argument %d (%s) must be a real, full double array; got %s.",
                 pos + 1, name, what);
        }
        require_elements(pos, name, min_elements, nullptr);
        return mxGetPr(a);
    }

    // Input pos has at least min_elements elements; `because` names the
    // argument that sets the requirement, if any.
    void require_elements(int pos, const char* name, uint64_t min_elements,
                          const char* because) const
    {
        const mxArray* a = prhs_[pos];
        const uint64_t have = mxGetNumberOfElements(a);
        if (have < min_elements) {
            char what[96];
            describe(a, what, sizeof what);
            fail("tooShort", "argument %d (%s) must have at least %llu elements%s%s%s; got %s.",
                 pos + 1, name, static_cast<unsigned long long>(min_elements),
                 because ? " (" : "", because ? because : "", because ? ")" : "", what);
        }
    }

    // Input pos as a number: the first element of a real, non-empty numeric
    // or logical array, read as a double.
    double scalar(int pos, const char* name) const
    {
        const mxArray* a = prhs_[pos];
        if (mxIsEmpty(a) || mxIsComplex(a) || mxIsSparse(a) ||
            !(mxIsNumeric(a) || mxIsLogical(a))) {
            char what[96];
            describe(a, what, sizeof what);
            fail("notRealScalar",
                 "argument %d (%s) must be a real, non-empty numeric or logical value; got %s.",
                 pos + 1, name, what);
        }
        return mxGetScalar(a);
    }

    // Input pos as a count: its first element truncated toward zero to a
    // 32-bit integer (see truncate_count).
    int32_t count(int pos, const char* name) const
    {
        return truncate_count(scalar(pos, name));
    }

    // Reports a failed kernel call.
    void kernel_failed(const KernelStatus& status) const
    {
        if (status.kind == KernelStatus::out_of_memory) {
            fail("outOfMemory", "not enough memory for the computation's scratch arrays.");
        } else {
            fail("internal", "the computation failed: %s.", status.detail);
        }
    }

    // Raises the host error "<function>:<reason>" with a printf-style message.
    void fail(const char* reason, const char* format, ...) const
    {
        char id[64];
        std::snprintf(id, sizeof id, "%s:%s", function_, reason);
        // The host puts the function's name before the message itself.
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        mexErrMsgIdAndTxt(id, "%s", text);
    }

private:
    // "a 3x4 complex double array", "a 1x1 sparse double array", "a 0x0 char array".
    static void describe(const mxArray* a, char* out, size_t size)
    {
        const mwSize ndims = mxGetNumberOfDimensions(a);
        const mwSize* dims = mxGetDimensions(a);
        char shape[48] = {};
        size_t used = 0;
        for (mwSize d = 0; d < ndims && used < sizeof shape; ++d) {
            const int w = std::snprintf(shape + used, sizeof shape - used, d ? "x%llu" : "%llu",
                                        static_cast<unsigned long long>(dims[d]));
            if (w < 0) break;
            used += static_cast<size_t>(w);
        }
        std::snprintf(out, size, "a %s %s%s%s array", shape, mxIsSparse(a) ? "sparse " : "",
                      mxIsComplex(a) ? "complex " : "", mxGetClassName(a));
    }

    const char* function_;
    int nrhs_;
    const mxArray* const* prhs_;
};

// A failed check leaves the gateway through the host's error call, which
// does not return and may skip destructors: the checker must own nothing.
static_assert(std::is_trivially_destructible<Gateway>::value &&
                  std::is_trivially_destructible<KernelStatus>::value,
              "objects alive when a host error is raised must own nothing");

}  // namespace mex_args
