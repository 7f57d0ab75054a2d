#pragma once

// Argument checks of the Python entry points, the counterpart of
// matlab/mex_args.h: the same rules (common/arg_rules.h), the same
// reasons and the same messages, with NumPy arrays in place of mxArrays.
//
// A failed check throws CallError, which the module turns into the Python
// exception of its reason (orthopair/_errors.py) carrying the identifier
// "<function>:<reason>". Unlike a host error, a C++ exception unwinds the
// stack, so the checks may hold references to arrays while they run.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "common/arg_rules.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace call_args {

namespace py = pybind11;

struct CallError {
    std::string identifier;  // "<function>:<reason>"
    std::string message;
};

// "a 3x4 complex128 array", "a 0-d int64 array", "a str", "None".
inline std::string describe(py::handle h)
{
    if (h.is_none()) return "None";
    if (py::isinstance<py::array>(h)) {
        const auto a = py::reinterpret_borrow<py::array>(h);
        std::string shape;
        for (py::ssize_t d = 0; d < a.ndim(); ++d) {
            shape += (d ? "x" : "") + std::to_string(a.shape(d));
        }
        if (a.ndim() == 0) shape = "0-d";
        return "a " + shape + " " + py::str(a.dtype()).cast<std::string>() + " array";
    }
    return "a " + py::str(py::type::handle_of(h).attr("__name__")).cast<std::string>();
}

// A checked array argument: the data it holds, read in column order, and
// the array that owns it (the argument itself, or a column-ordered copy
// when the argument was laid out otherwise).
struct DoubleArray {
    py::array owner;
    const double* data = nullptr;
    uint64_t count = 0;
};

// True for a NumPy array of native float64.
inline bool is_double_array(py::handle h)
{
    return py::isinstance<py::array_t<double>>(h) &&
           py::reinterpret_borrow<py::array>(h).dtype().kind() == 'f';
}

class Checks {
public:
    explicit Checks(const char* function) : function_(function) {}

    [[noreturn]] void fail(const char* reason, const char* format, ...) const
    {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        throw CallError{std::string(function_) + ":" + reason, text};
    }

    // Argument pos (0-based, reported 1-based) as a float64 array of at
    // least min_elements elements. Sequences are taken as NumPy would take
    // them; anything whose elements are not real doubles is refused, not
    // converted. The data are read in column (Fortran) order whatever the
    // shape, as the host reads an array; a column-ordered or one-dimensional
    // contiguous array is used where it lies, anything else is copied once.
    DoubleArray real_double(py::handle h, int pos, const char* name, uint64_t min_elements) const
    {
        // A default py::array is an empty float64 array, not "no array".
        py::object a;
        if (py::isinstance<py::array>(h)) {
            a = py::reinterpret_borrow<py::array>(h);
        } else if (!h.is_none()) {
            a = py::array::ensure(h);
        }
        if (!a || !is_double_array(a)) {
            fail("notRealDouble", "argument %d (%s) must be a real float64 array; got %s.",
                 pos + 1, name, describe(h).c_str());
        }
        py::array data = py::reinterpret_borrow<py::array>(a);
        if (!(data.flags() & py::array::f_style)) {
            data = py::array_t<double, py::array::f_style>::ensure(data);
        }
        DoubleArray out{data, static_cast<const double*>(data.data()),
                        static_cast<uint64_t>(data.size())};
        require_elements(out, h, pos, name, min_elements, nullptr);
        return out;
    }

    void require_elements(const DoubleArray& a, py::handle h, int pos, const char* name,
                          uint64_t min_elements, const char* because) const
    {
        if (a.count < min_elements) {
            fail("tooShort", "argument %d (%s) must have at least %llu elements%s%s%s; got %s.",
                 pos + 1, name, static_cast<unsigned long long>(min_elements),
                 because ? " (" : "", because ? because : "", because ? ")" : "",
                 describe(h).c_str());
        }
    }

    // Argument pos as a number: a Python int, float or bool, or the first
    // element of a non-empty real numeric or boolean array.
    double scalar(py::handle h, int pos, const char* name) const
    {
        if (PyBool_Check(h.ptr()) || PyFloat_Check(h.ptr())) return PyFloat_AsDouble(h.ptr());
        if (PyLong_Check(h.ptr())) {
            const double x = PyLong_AsDouble(h.ptr());
            if (!(x == -1.0 && PyErr_Occurred())) return x;
            PyErr_Clear();  // beyond the double range: refused below
        }
        py::object any;
        if (py::isinstance<py::array>(h)) {
            any = py::reinterpret_borrow<py::array>(h);
        } else if (!h.is_none() && !PyUnicode_Check(h.ptr()) && !PyBytes_Check(h.ptr())) {
            any = py::array::ensure(h);
        }
        const py::array a = any ? py::reinterpret_borrow<py::array>(any) : py::array();
        const char kind = any ? a.dtype().kind() : 'O';
        if (!any || a.size() == 0 || !(kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f')) {
            fail("notRealScalar",
                 "argument %d (%s) must be a real, non-empty numeric or boolean value; got %s.",
                 pos + 1, name, describe(h).c_str());
        }
        return a.attr("flat")[py::int_(0)].cast<double>();
    }

    // Argument pos as a count, truncated toward zero (mex_args::convert_count).
    int32_t count(py::handle h, int pos, const char* name,
                  mex_args::Sign sign = mex_args::Sign::any) const
    {
        const double value = scalar(h, pos, name);
        const mex_args::Count count = mex_args::convert_count(value, sign);
        switch (count.fault) {
        case mex_args::CountFault::none:
            break;
        case mex_args::CountFault::not_finite:
            fail("badCount", "argument %d (%s) must be a finite count; got %s.", pos + 1, name,
                 value_name(value));
        case mex_args::CountFault::out_of_range:
            fail("badCount",
                 "argument %d (%s) must lie in -2147483648 ... 2147483647 once truncated "
                 "toward zero; got %.17g.",
                 pos + 1, name, value);
        case mex_args::CountFault::negative:
            fail("badCount", "argument %d (%s) must not be negative; got %.17g.", pos + 1, name,
                 value);
        }
        return count.value;
    }

    void require_finite(int pos, const char* name, const double* x, int64_t count) const
    {
        const int64_t k = mex_args::first_non_finite(x, count);
        if (k >= 0) {
            fail("notFinite",
                 "argument %d (%s) must be finite in its first %lld element%s; element %lld "
                 "is %s.",
                 pos + 1, name, static_cast<long long>(count), count == 1 ? "" : "s",
                 static_cast<long long>(k + 1), value_name(x[k]));
        }
    }

    void require_finite_scalar(int pos, const char* name, double value) const
    {
        if (!std::isfinite(value)) {
            fail("notFinite", "argument %d (%s) must be finite; got %s.", pos + 1, name,
                 value_name(value));
        }
    }

    static const char* value_name(double x) { return std::isnan(x) ? "NaN" : x > 0 ? "Inf" : "-Inf"; }

    const char* function() const { return function_; }

private:
    const char* function_;
};

}  // namespace call_args
