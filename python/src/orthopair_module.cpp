// orthopair._core: the kernels and the native solver for Python, over the
// same C++ sources and with the same checks as the MEX-files. The Python
// package (orthopair/) wraps these entry points; it adds the front-end work
// (random starts, options, logging, result objects) and nothing of the
// computation.
//
// Every bad call throws call_args::CallError before anything is computed;
// the translator at the bottom turns it into the exception class of its
// reason (orthopair/_errors.py) with the identifier "<function>:<reason>".

#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "call_args.h"
#include "input_checks.h"
#include "method_internal.h"
#include "options.h"
#include "orthogonal_2x2.h"
#include "pair_select.h"
#include "problem_input.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace py = pybind11;
using call_args::CallError;
using call_args::Checks;

namespace {

// A NumPy array of the given shape (C order) that owns the vector's memory:
// the result is handed over without a copy.
py::array_t<double> adopt(std::vector<double>&& data, std::vector<py::ssize_t> shape)
{
    auto owned = std::make_unique<std::vector<double>>(std::move(data));
    double* values = owned->data();
    py::capsule owner(owned.get(), [](void* p) { delete static_cast<std::vector<double>*>(p); });
    owned.release();
    return py::array_t<double>(std::move(shape), values, owner);
}

// Runs a kernel call; memory exhaustion and any other C++ failure become the
// function's outOfMemory and internal errors.
template <class Call>
void run_kernel(const Checks& checks, Call&& call)
{
    std::string failure;
    bool out_of_memory = false;
    try {
        call();
        return;
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown exception";
    }
    if (out_of_memory) {
        checks.fail("outOfMemory", "not enough memory for the computation's scratch arrays.");
    }
    checks.fail("internal", "the computation failed: %s.", failure.c_str());
}

// ---- the kernels ------------------------------------------------------------

py::tuple brevak(py::handle Q_arg, py::handle G_arg, py::handle lambda_arg, py::handle z1_arg,
                 py::handle z2_arg, py::handle n_arg)
{
    const Checks checks("brevak");
    const auto Q = checks.real_double(Q_arg, 0, "Q", 16);
    const auto G = checks.real_double(G_arg, 1, "G", 4);
    const double lambda = checks.scalar(lambda_arg, 2, "lambda");
    const auto z1 = checks.real_double(z1_arg, 3, "z1", 0);
    const auto z2 = checks.real_double(z2_arg, 4, "z2", 0);
    const int32_t n = checks.count(n_arg, 5, "n");
    if (n > MAX_PAIR_COUNT) {
        checks.fail("tooManyPairs", "argument 6 (n) must be at most %d; got %d.",
                    static_cast<int>(MAX_PAIR_COUNT), static_cast<int>(n));
    }
    const int64_t pairs = n > 0 ? n : 0;
    checks.require_elements(z1, z1_arg, 3, "z1", static_cast<uint64_t>(pairs), "n");
    checks.require_elements(z2, z2_arg, 4, "z2", static_cast<uint64_t>(pairs), "n");

    // Exactly the values the solver reads: Q on and above its diagonal.
    const int q = mex_args::first_non_finite_upper(Q.data);
    if (q >= 0) {
        checks.fail("notFinite",
                    "argument 1 (Q) must be finite on and above the diagonal of the 4-by-4 "
                    "matrix it is read as; element %d (row %d, column %d) is %s.",
                    q + 1, q % 4 + 1, q / 4 + 1, Checks::value_name(Q.data[q]));
    }
    checks.require_finite(1, "G", G.data, 4);
    checks.require_finite_scalar(2, "lambda", lambda);
    checks.require_finite(3, "z1", z1.data, pairs);
    checks.require_finite(4, "z2", z2.data, pairs);

    std::vector<double> V(4);
    double value = 0.0;
    run_kernel(checks, [&] {
        solve_orthogonal_2x2(Q.data, G.data, lambda, z1.data, z2.data, n, V.data(), &value, C_HEAP);
    });
    // V is column-major: element (a, b) at a + 2b, the transpose of C order.
    py::array_t<double> out = adopt(std::move(V), {2, 2});
    return py::make_tuple(out.attr("T"), value);
}

using SelectEntry = void (*)(const double*, const double*, int32_t, int32_t, int32_t, double*);

py::array_t<double> select_pair(const char* name, SelectEntry entry, py::handle A_arg,
                                py::handle B_arg, py::handle cols_arg, py::handle rows_arg,
                                py::handle trials_arg)
{
    const Checks checks(name);
    const auto A = checks.real_double(A_arg, 0, "A", 0);
    const auto B = checks.real_double(B_arg, 1, "B", 0);
    const int32_t n_cols = checks.count(cols_arg, 2, "n_cols", mex_args::Sign::non_negative);
    const int32_t n_rows = checks.count(rows_arg, 3, "n_rows", mex_args::Sign::non_negative);
    const int32_t n_trials = checks.count(trials_arg, 4, "n_trials");
    const uint64_t elements = static_cast<uint64_t>(n_rows) * static_cast<uint64_t>(n_cols);
    checks.require_elements(A, A_arg, 0, "A", elements, "n_rows*n_cols");
    checks.require_elements(B, B_arg, 1, "B", elements, "n_rows*n_cols");

    std::vector<double> out(2);
    run_kernel(checks, [&] { entry(A.data, B.data, n_cols, n_rows, n_trials, out.data()); });
    return adopt(std::move(out), {2});
}

void seed(py::handle k_arg)
{
    const Checks checks("orthopair_seed");
    const bool array = py::isinstance<py::array>(k_arg);
    if (array && py::reinterpret_borrow<py::array>(k_arg).size() != 1) {
        checks.fail("badSeed", "k must be a single number, got %llu elements.",
                    static_cast<unsigned long long>(py::reinterpret_borrow<py::array>(k_arg).size()));
    }
    const double k = checks.scalar(k_arg, 0, "k");
    if (!(k >= 0 && k < 4294967296.0) || k != std::floor(k)) {
        checks.fail("badSeed", "k must be a whole number in 0 ... 2^32 - 1, got %g.", k);
    }
    std::srand(static_cast<unsigned>(k));
}

// ---- the solver -------------------------------------------------------------

// A number, a whole number or a flag: a real Python or NumPy number (or a
// one-element array of one), inside the row's range.
double scalar_option(const Checks& checks, py::handle v, const method::options::Row& row)
{
    bool number = PyFloat_Check(v.ptr()) || PyLong_Check(v.ptr()) || PyBool_Check(v.ptr());
    if (!number && py::isinstance<py::array>(v)) {
        const auto a = py::reinterpret_borrow<py::array>(v);
        const char kind = a.dtype().kind();
        number = a.size() == 1 && (kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f');
    } else if (!number) {
        // NumPy scalars (np.float64, np.int32, np.bool_, ...).
        const py::module_ numpy = py::module_::import("numpy");
        number = (py::isinstance(v, numpy.attr("number")) || py::isinstance(v, numpy.attr("bool_"))) &&
                 !PyComplex_Check(v.ptr()) && !py::isinstance(v, numpy.attr("complexfloating"));
    }
    const bool flag = row.kind == method::options::Kind::flag;
    double x = NAN;
    try {
        if (number) x = py::float_(py::reinterpret_borrow<py::object>(v)).cast<double>();
    } catch (const py::error_already_set&) {
        number = false;
    }
    if (!number) {
        checks.fail("badOption", flag ? "option %s must be true or false."
                                      : "option %s must be a real number.", row.name);
    }
    const method::options::Text refusal = method::options::refusal(row, x);
    if (refusal.c[0] != '\0') checks.fail("badOption", "%s", refusal.c);
    return x;
}

// The rule option: one of the names of the rules, as its index.
double rule_option(const Checks& checks, py::handle v)
{
    const int index =
        PyUnicode_Check(v.ptr()) ? method::options::rule_index(py::str(v).cast<std::string>().c_str()) : -1;
    if (index < 0) {
        checks.fail("badOption", "option rule must be %s; got %s.",
                    method::options::type_text(method::options::Kind::rule).c,
                    py::repr(v).cast<std::string>().c_str());
    }
    return index;
}

// The settings from a dict of options, each read through its row of the
// table; None keeps the default.
method::Settings read_options(const Checks& checks, const py::dict& opts)
{
    using method::options::Kind;
    method::Settings settings;
    for (const auto& item : opts) {
        const std::string field = py::str(item.first);
        const method::options::Row* row = method::options::find(field.c_str(), method::options::python);
        if (row == nullptr) {
            checks.fail("badOption", "unknown option '%s'; known: %s.", field.c_str(),
                        method::options::known_names(method::options::python).c);
        }
        const py::handle v = item.second;
        if (v.is_none()) continue;  // None means the default
        row->set(settings, row->kind == Kind::rule ? rule_option(checks, v)
                                                   : scalar_option(checks, v, *row));
    }
    return settings;
}

// The options the module takes, as orthopair_run() lists them in the other
// host: name, default, type and range, one dict each.
py::list option_table()
{
    using method::options::Kind;
    py::list table;
    for (const method::options::Row& row : method::options::ROWS) {
        if ((row.hosts & method::options::python) == 0) continue;
        const double d = method::options::default_value(row);
        py::object value = py::float_(d);
        if (row.kind == Kind::rule) value = py::str(method::RULE_NAMES[static_cast<size_t>(d)].name);
        if (row.kind == Kind::flag) value = py::bool_(d != 0);
        if (row.kind == Kind::whole && std::isfinite(d)) value = py::int_(static_cast<long long>(d));
        if (row.zero_means != nullptr && d == 0) value = py::str(row.zero_means);
        py::dict entry;
        entry["name"] = row.name;
        entry["default"] = value;
        entry["type"] = method::options::type_text(row.kind).c;
        entry["range"] = row.kind == Kind::rule ? py::object(py::none())
                                                : py::object(py::make_tuple(row.lo, row.hi));
        table.append(entry);
    }
    return table;
}

// X (n×r, any memory order, orthonormal columns to 1e-8) as the engine's
// Xt (r×n column-major, the C-ordered n×r array); argument pos.
std::vector<double> read_point(const Checks& checks, py::handle h, int pos, const char* name,
                               int32_t n, bool feasible)
{
    if (!py::isinstance<py::array>(h) || !call_args::is_double_array(h)) {
        checks.fail("notRealDouble", "argument %d (%s) must be a real float64 array; got %s.", pos,
                    name, call_args::describe(h).c_str());
    }
    const auto a = py::reinterpret_borrow<py::array>(h);
    if (a.ndim() != 2 || a.shape(0) != n || a.shape(1) < 1 || a.shape(1) > n) {
        checks.fail("sizes", "argument %d (%s) must be %d-by-r with 1 <= r <= %d, got %s.", pos,
                    name, n, n, call_args::describe(h).c_str());
    }
    const int32_t r = static_cast<int32_t>(a.shape(1));
    const auto X = a.unchecked<double, 2>();
    std::vector<double> Xt(static_cast<size_t>(n) * r);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < r; ++c) {
            const double v = X(i, c);
            if (!std::isfinite(v)) checks.fail("notFinite", "argument %d (%s) has NaN or Inf entries.", pos, name);
            Xt[c + static_cast<size_t>(r) * i] = v;
        }
    }
    if (feasible) {
        const double defect = method::orthonormality_defect(
            static_cast<size_t>(n), static_cast<size_t>(r), [&X](size_t i, size_t c) { return X(i, c); });
        if (!(defect <= method::tolerances::start_feasibility)) {
            checks.fail("notFeasible", "argument %d (%s) must have orthonormal columns: "
                                       "||X0'*X0 - I||_F = %g > 1e-8.", pos, name, defect);
        }
    }
    return Xt;
}

// The problem (A, E, lambda: arguments 1 to 3) and the point (argument 4,
// named name; with orthonormal columns when feasible) of a call, checked in
// the order the MEX-file checks them. Returns the point as Xt.
std::vector<double> read_call(const Checks& checks, py::handle A, py::handle E, py::handle lambda,
                              py::handle X, const char* name, bool feasible,
                              problem_input::ProblemInput& input)
{
    const int32_t n = problem_input::read_quadratic(checks, A, input);
    std::vector<double> Xt = read_point(checks, X, 4, name, n, feasible);
    const int32_t r = static_cast<int32_t>(Xt.size() / static_cast<size_t>(n));
    problem_input::read_problem(checks, E, lambda, n, r, input);
    return Xt;
}

py::array_t<double> history_column(const std::vector<method::HistoryPoint>& h,
                                   double (*get)(const method::HistoryPoint&))
{
    std::vector<double> values(h.size());
    for (size_t k = 0; k < h.size(); ++k) values[k] = get(h[k]);
    return adopt(std::move(values), {static_cast<py::ssize_t>(h.size())});
}

// The run's information as a dict; orthopair/_result.py makes it a Result.
py::dict info_dict(const method::Info& info, bool final_info)
{
    using P = method::HistoryPoint;
    py::dict d;
    d["f"] = info.f;
    d["f0"] = info.f0;
    d["stop"] = final_info ? info.stop : std::string();
    d["iterations"] = info.iterations;
    d["pair_steps"] = info.pair_steps;
    d["moves"] = info.moves;
    d["screened"] = info.screened;
    d["sweeps"] = info.sweeps;
    d["prox_steps"] = info.prox_steps;
    d["time"] = info.time;
    d["pair_gap"] = info.pair_gap;
    d["stationarity"] = info.stationarity;
    d["stationarity_scale"] = info.stationarity_scale;
    d["feasibility"] = final_info ? info.feasibility : NAN;
    d["message"] = "";
#if ORTHOPAIR_PY_OPERATOR
    // Where the run stands, from the engine that reports it.
    d["phase"] = info.phase;
    d["pass_pairs_done"] = info.pass_pairs_done;
    d["pass_pairs_total"] = info.pass_pairs_total;
    d["touched"] = info.touched;
#endif
    const auto& h = info.history;
    py::dict hist;
    hist["iteration"] = history_column(h, [](const P& x) { return double(x.iteration); });
    hist["f"] = history_column(h, [](const P& x) { return x.f; });
    hist["time"] = history_column(h, [](const P& x) { return x.time; });
    hist["moves"] = history_column(h, [](const P& x) { return double(x.moves); });
    hist["prox_steps"] = history_column(h, [](const P& x) { return double(x.prox_steps); });
    hist["sweeps"] = history_column(h, [](const P& x) { return double(x.sweeps); });
    hist["screened"] = history_column(h, [](const P& x) { return double(x.screened); });
    hist["stationarity"] = history_column(h, [](const P& x) { return x.stationarity; });
    hist["pair_gap"] = history_column(h, [](const P& x) { return x.pair_gap; });
    d["history"] = hist;
    return d;
}

// What the progress hook saw: a Ctrl-C, or an error raised by the Python hook.
struct HookOutcome {
    bool interrupted = false;
    bool failed = false;
    std::string message;
};

// run(A, E, lambda, X0, options, hook) -> (X, info): the run of orthopair_run.
// hook (None or a callable) gets the info dict at every progress point and
// returns true to stop. The run holds no Python object: the GIL is released
// while it works and taken back only inside the hook.
py::tuple run(py::handle A, py::handle E, py::handle lambda, py::handle X0, const py::dict& opts,
              py::object hook)
{
    const Checks checks("orthopair_run");
    problem_input::ProblemInput input;
    std::vector<double> Xt = read_call(checks, A, E, lambda, X0, "X0", true, input);
    const int32_t n = input.problem.n, r = input.problem.r;
    method::Settings settings = read_options(checks, opts);
    if (settings.print_every > 0) settings.progress_every = settings.print_every;
    if (!hook.is_none() && !PyCallable_Check(hook.ptr())) {
        checks.fail("badOption", "the progress hook must be callable.");
    }

    HookOutcome outcome;
    auto progress = [&](const method::Info& info) -> bool {
        py::gil_scoped_acquire gil;
        // The interpreter's signal handlers run here: Ctrl-C raises
        // KeyboardInterrupt, which ends the run with the best X so far.
        if (PyErr_CheckSignals() != 0) {
            outcome.interrupted = true;
            PyErr_Clear();
            return true;
        }
        if (hook.is_none() || outcome.failed) return outcome.failed;
        try {
            return py::bool_(hook(info_dict(info, false)));
        } catch (py::error_already_set& e) {
            if (e.matches(PyExc_KeyboardInterrupt)) {
                outcome.interrupted = true;
            } else {
                outcome.failed = true;
                outcome.message = e.what();
            }
            return true;
        } catch (const std::exception& e) {
            outcome.failed = true;
            outcome.message = e.what();
            return true;
        }
    };

    method::Info info;
    run_kernel(checks, [&] {
        py::gil_scoped_release release;
        info = method::run(input.problem, settings, Xt, progress);
    });
    py::dict d = info_dict(info, true);
    if (outcome.interrupted) {
        d["stop"] = "interrupted";
        d["message"] = "interrupted by the user; the best point so far is returned.";
    } else if (outcome.failed) {
        d["stop"] = "callback_error";
        d["message"] = "the callback failed: " + outcome.message;
    }
    return py::make_tuple(adopt(std::move(Xt), {n, r}), d);
}

// measure(A, E, lambda, X, pairs) -> dict: F, ‖XᵀX − I‖_F, the stationarity
// measure and its scale max(1, ‖AX + E‖_F) at X, and with pairs the decrease
// that the best step on every pair i < j offers (an n×n array, upper
// triangle), all from the engine's own building blocks.
py::dict measure(py::handle A, py::handle E, py::handle lambda, py::handle X, bool pairs)
{
    const Checks checks("orthopair_certify");
    problem_input::ProblemInput input;
    std::vector<double> Xt = read_call(checks, A, E, lambda, X, "X", false, input);
    const int32_t n = input.problem.n, r = input.problem.r;
    const method::Problem& p = input.problem;

    double f = 0, feasibility = 0, stationarity = 0, gradient = 0;
    std::vector<double> decrease;
    run_kernel(checks, [&] {
        py::gil_scoped_release release;
        std::vector<double> AXt(Xt.size());
        method::multiply(p, Xt.data(), AXt.data());
        f = method::objective(p, Xt.data(), AXt.data());
        feasibility = method::feasibility(p, Xt.data());
        stationarity = method::stationarity(p, Xt.data(), AXt.data());
        double sum = 0;
        for (size_t k = 0; k < AXt.size(); ++k) {
            const double g = AXt[k] + (p.Et.empty() ? 0.0 : p.Et[k]);
            sum += g * g;
        }
        gradient = std::sqrt(sum);
        if (pairs) {
            // C order: decrease[i, j] at i·n + j.
            decrease.assign(static_cast<size_t>(n) * n, 0.0);
            std::vector<double> rows(2 * static_cast<size_t>(r));
            for (int32_t i = 0; i + 1 < n; ++i) {
                for (int32_t j = i + 1; j < n; ++j) {
                    double floor = 0;
                    const double change = method::pair_step(p, Xt.data(), AXt.data(), i, j,
                                                            rows.data(), &floor);
                    decrease[static_cast<size_t>(i) * n + j] = std::fmax(0.0, -change);
                }
            }
        }
    });
    py::dict d;
    d["f"] = f;
    d["feasibility"] = feasibility;
    d["stationarity"] = stationarity;
    d["stationarity_scale"] = std::fmax(1.0, gradient);
    d["gradient_norm"] = gradient;
    if (pairs) {
        d["decrease"] = adopt(std::move(decrease), {n, n});
    } else {
        d["decrease"] = py::none();
    }
    return d;
}

}  // namespace

PYBIND11_MODULE(_core, m)
{
    m.doc() = "The orthopair kernels and native solver (use the orthopair package).";

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const CallError& e) {
            // The class of the reason lives in the Python package; should it
            // be missing, the identifier still reaches the caller.
            try {
                py::object make = py::module_::import("orthopair._errors").attr("error_for");
                py::object error = make(e.identifier, e.message);
                PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
            } catch (py::error_already_set&) {
                PyErr_SetString(PyExc_ValueError, (e.identifier + ": " + e.message).c_str());
            }
        }
    });

    m.def("brevak", &brevak, "brevak(Q, G, lam, z1, z2, n) -> (V, f)");
    m.def(
        "tolmiv",
        [](py::handle A, py::handle B, py::handle c, py::handle r, py::handle t) {
            return select_pair("tolmiv", select_pair_max_violation, A, B, c, r, t);
        },
        "tolmiv(A, B, n_cols, n_rows, n_trials) -> [i, j] (1-based)");
    m.def(
        "zandrel",
        [](py::handle A, py::handle B, py::handle c, py::handle r, py::handle t) {
            return select_pair("zandrel", select_pair_max_reduction, A, B, c, r, t);
        },
        "zandrel(A, B, n_cols, n_rows, n_trials) -> [i, j] (1-based)");
    py::list forms;
    for (const char* form : problem_input::FORMS) forms.append(form);
    m.attr("FORMS") = py::tuple(forms);
    m.def("seed", &seed, "seed(k): srand(k) for the selectors' rand()");
    m.def("run", &run, "run(A, E, lam, X0, options, hook) -> (X, info)");
    m.def("option_table", &option_table, "option_table() -> [dict(name, default, type, range)]");
    m.def("measure", &measure, "measure(A, E, lam, X, pairs) -> dict");
    m.def("rand_draws", [](int count) {
        // The next values of the C generator, for tests of seeding.
        const size_t size = count > 0 ? static_cast<size_t>(count) : 0;
        std::vector<double> out(size);
        for (auto& v : out) v = std::rand();
        return adopt(std::move(out), {static_cast<py::ssize_t>(size)});
    });
}
