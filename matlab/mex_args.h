#pragma once

// Argument checks shared by the MEX gateways; only the gateways include this
// header (the kernels include nothing of the host).
//
// A failed check raises a host error with the identifier "<function>:<reason>"
// and a message that names the argument, says what it must be and what it was.
// The host's error call does not return normally, so nothing here owns memory
// at the moment it is made: every buffer is a plain array on the stack.
//
// Reasons used by the kernels' gateways (brevak, tolmiv, zandrel); the
// solver's gateways use nargin, nargout, notRealDouble, outOfMemory and
// internal from this list and name their own further reasons in their help
// (orthopair_run.m, orthopair_seed.m):
//   nargin         fewer inputs than the function takes
//   nargout        more outputs requested than the function has
//   notRealDouble  an array argument that is not a real, full double array
//   notRealScalar  a scalar argument that is empty, complex, sparse, or
//                  neither numeric nor logical
//   badCount       a count that is NaN or infinite, that does not fit in 32
//                  bits once truncated, or that is negative where a negative
//                  count means nothing
//   tooShort       an array with fewer elements than the call reads
//   outOfMemory    scratch memory could not be obtained
//   internal       any other failure inside the computation
// and brevak also
//   notFinite      a NaN or infinity among the values the solver reads
//   tooManyPairs   a pair count above what its solver can hold

#include "mex.h"

#include "common/arg_rules.h"

#include <cmath>
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

    // At least min_inputs inputs (more are ignored) and at most max_outputs
    // outputs.
    void require_arg_counts(int nlhs, int min_inputs, const char* input_names,
                            int max_outputs = 1) const
    {
        if (nrhs_ < min_inputs) {
            fail("nargin", "expected at least %d inputs (%s), got %d.", min_inputs,
                 input_names, nrhs_);
        }
        if (nlhs > max_outputs) {
            fail("nargout", "expected at most %d output%s, got %d.", max_outputs,
                 max_outputs == 1 ? "" : "s", nlhs);
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
    // 32-bit integer (see convert_count); NaN, ±∞, a value out of the 32-bit
    // range and, under Sign::non_negative, a negative count are refused.
    int32_t count(int pos, const char* name, Sign sign = Sign::any) const
    {
        const double value = scalar(pos, name);
        const Count count = convert_count(value, sign);
        switch (count.fault) {
        case CountFault::none:
            break;
        case CountFault::not_finite: {
            char what[16];
            describe_value(value, what, sizeof what);
            fail("badCount", "argument %d (%s) must be a finite count; got %s.", pos + 1, name,
                 what);
            break;
        }
        case CountFault::out_of_range:
            fail("badCount",
                 "argument %d (%s) must lie in -2147483648 ... 2147483647 once truncated "
                 "toward zero; got %.17g.",
                 pos + 1, name, value);
            break;
        case CountFault::negative:
            fail("badCount", "argument %d (%s) must not be negative; got %.17g.", pos + 1, name,
                 value);
            break;
        }
        return count.value;
    }

    // Input pos, already read as `count` doubles at x, holds no NaN or
    // infinity; otherwise names the first offending element, 1-based.
    void require_finite(int pos, const char* name, const double* x, int64_t count) const
    {
        const int64_t k = first_non_finite(x, count);
        if (k >= 0) {
            char what[16];
            describe_value(x[k], what, sizeof what);
            fail("notFinite", "argument %d (%s) must be finite in its first %lld element%s; "
                 "element %lld is %s.",
                 pos + 1, name, static_cast<long long>(count), count == 1 ? "" : "s",
                 static_cast<long long>(k + 1), what);
        }
    }

    // A number already read from input pos is finite.
    void require_finite_scalar(int pos, const char* name, double value) const
    {
        if (!std::isfinite(value)) {
            char what[16];
            describe_value(value, what, sizeof what);
            fail("notFinite", "argument %d (%s) must be finite; got %s.", pos + 1, name, what);
        }
    }

    // "NaN", "Inf" or "-Inf".
    static void describe_value(double x, char* out, size_t size)
    {
        std::snprintf(out, size, "%s", std::isnan(x) ? "NaN" : x > 0 ? "Inf" : "-Inf");
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
