// [X, info] = orthopair_run(A, E, lambda, X0, opts)
// table = orthopair_run()
//
// Runs the two-index method natively on
//   F(X) = ½·tr(XᵀAX) + ⟨E, X⟩ + Σⱼ lambda(j)·‖X(:, j)‖₁,  XᵀX = I,
// from the feasible X0 until both certificates hold (or a limit is hit). A
// is a dense or sparse symmetric matrix, or struct('D', D, 'scale', s) for
// A = s·DᵀD, which is never formed.
// Every input is checked first; a bad call raises "orthopair_run:<reason>"
// before anything is allocated. The run itself happens inside a guard that
// turns any C++ exception into a host error raised after the run's memory is
// gone. Every other end of the run, including an error inside the user's
// callback and a Ctrl-C, returns the best X so far with info.stop saying
// why. Called without arguments it returns the table of options (name,
// default, type, range) of method/options.h, the one source of the options
// and their defaults that the help text lists and the front ends read.

#include "mex_args.h"
#include "input_checks.h"
#include "method_internal.h"
#include "options.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* NAME = "orthopair_run";

// The forms A may come in: a dense or sparse symmetric matrix, or a struct
// with fields D (m×n) and scale for A = scale·DᵀD.
enum class AForm { dense, sparse, gram };

// Everything the checks extract, in plain values and host pointers.
struct Call {
    int32_t n = 0, r = 0;
    AForm form = AForm::dense;
    const double* A = nullptr;       // dense: n×n; sparse: the values; gram: D
    bool A_symmetric = true;         // dense: A equals Aᵀ exactly
    const mwIndex* A_jc = nullptr;   // sparse: column starts (n + 1)
    const mwIndex* A_ir = nullptr;   // sparse: row indices
    int32_t m = 0;                   // gram: rows of D
    double scale = 1;                // gram
    const double* E = nullptr;
    const double* lambda = nullptr;
    size_t lambda_count = 0;
    const double* X0 = nullptr;
    method::Settings settings;       // from opts, through the table of options
    const mxArray* callback = nullptr;
};

void require_matrix(const mex_args::Gateway& g, const mxArray* a, int pos, const char* name)
{
    if (!mxIsDouble(a) || mxIsComplex(a) || mxIsSparse(a)) {
        g.fail("notRealDouble", "argument %d (%s) must be a real, full double array.", pos, name);
    }
    if (mxGetNumberOfDimensions(a) != 2) {
        g.fail("sizes", "argument %d (%s) must be a matrix.", pos, name);
    }
}

bool all_finite(const double* x, size_t count)
{
    for (size_t k = 0; k < count; ++k) {
        if (!std::isfinite(x[k])) return false;
    }
    return true;
}

// The value of a number, whole number or flag option: a real numeric (or,
// for a flag, logical) scalar, inside the row's range.
double scalar_option(const mex_args::Gateway& g, const mxArray* v, const method::options::Row& row)
{
    using method::options::Kind;
    const bool flag = row.kind == Kind::flag;
    if (mxGetNumberOfElements(v) != 1 || mxIsComplex(v) || mxIsSparse(v) ||
        !(mxIsNumeric(v) || (flag && mxIsLogical(v)))) {
        if (flag) g.fail("badOption", "option %s must be true or false.", row.name);
        g.fail("badOption", "option %s must be a real number, got a %s.", row.name,
               mxGetNumberOfElements(v) != 1 ? "non-scalar" : mxGetClassName(v));
    }
    const double x = mxGetScalar(v);
    const method::options::Text refusal = method::options::refusal(row, x);
    if (refusal.c[0] != '\0') g.fail("badOption", "%s", refusal.c);
    return x;
}

// The rule option: one of the names of the rules, as its index.
double rule_option(const mex_args::Gateway& g, const mxArray* v)
{
    char text[16] = {};
    const int index = mxIsChar(v) && mxGetNumberOfElements(v) < sizeof text &&
                              mxGetString(v, text, sizeof text) == 0
                          ? method::options::rule_index(text)
                          : -1;
    if (index < 0) {
        g.fail("badOption", "option rule must be %s.",
               method::options::type_text(method::options::Kind::rule).c);
    }
    return index;
}

// Sets call.settings (and call.callback) from the fields of opts, each read
// through its row of the table; an absent or empty field keeps the default.
void read_options(const mex_args::Gateway& g, const mxArray* opts, Call& call)
{
    using method::options::Kind;
    if (mxIsEmpty(opts) && !mxIsStruct(opts) && mxIsDouble(opts)) return;
    if (!mxIsStruct(opts) || mxGetNumberOfElements(opts) != 1) {
        g.fail("badOption", "argument 5 (opts) must be a scalar struct or [].");
    }
    for (int k = 0; k < mxGetNumberOfFields(opts); ++k) {
        const char* field = mxGetFieldNameByNumber(opts, k);
        const method::options::Row* row = method::options::find(field, method::options::mex);
        if (row == nullptr) {
            g.fail("badOption", "unknown option '%s' in argument 5 (opts); known: %s.", field,
                   method::options::known_names(method::options::mex).c);
        }
        const mxArray* v = mxGetFieldByNumber(opts, 0, k);
        if (v == nullptr || mxIsEmpty(v)) continue;  // empty means the default
        if (row->kind == Kind::callback) {
            if (!mxIsClass(v, "function_handle")) {
                g.fail("badOption", "option callback must be a function handle, got a %s.",
                       mxGetClassName(v));
            }
            call.callback = v;
            continue;
        }
        row->set(call.settings, row->kind == Kind::rule ? rule_option(g, v)
                                                        : scalar_option(g, v, *row));
    }
}

// A row's default as the listing shows it: the rule by name, a flag as a
// logical, a count whose 0 stands for something by that word, the callback
// as [].
mxArray* default_of(const method::options::Row& row)
{
    using method::options::Kind;
    const double d = method::options::default_value(row);
    switch (row.kind) {
    case Kind::rule: return mxCreateString(method::RULE_NAMES[static_cast<size_t>(d)].name);
    case Kind::flag: return mxCreateLogicalScalar(d != 0);
    case Kind::callback: return mxCreateDoubleMatrix(0, 0, mxREAL);
    case Kind::whole:
    case Kind::number: break;
    }
    if (row.zero_means != nullptr && d == 0) return mxCreateString(row.zero_means);
    return mxCreateDoubleScalar(d);
}

// The table of options, one element per option: name, default (as the run
// uses it when the option is absent or []), type and range (NaN for the
// rule and the callback).
mxArray* option_table()
{
    using method::options::Kind;
    static const char* fields[] = {"name", "default", "type", "range"};
    const size_t count = sizeof method::options::ROWS / sizeof method::options::ROWS[0];
    mxArray* t = mxCreateStructMatrix(count, 1, 4, fields);
    for (size_t k = 0; k < count; ++k) {
        const method::options::Row& row = method::options::ROWS[k];
        const bool ranged = row.kind != Kind::callback && row.kind != Kind::rule;
        mxSetField(t, k, "name", mxCreateString(row.name));
        mxSetField(t, k, "default", default_of(row));
        mxSetField(t, k, "type", mxCreateString(method::options::type_text(row.kind).c));
        mxArray* range = mxCreateDoubleMatrix(1, 2, mxREAL);
        mxGetPr(range)[0] = ranged ? row.lo : NAN;
        mxGetPr(range)[1] = ranged ? row.hi : NAN;
        mxSetField(t, k, "range", range);
    }
    return t;
}

void not_symmetric(const mex_args::Gateway& g, const method::Asymmetry& bad)
{
    g.fail("notSymmetric", "argument 1 (A) must be symmetric: A(%lld,%lld) and A(%lld,%lld) "
                           "differ by %g.",
           static_cast<long long>(bad.i + 1), static_cast<long long>(bad.j + 1),
           static_cast<long long>(bad.j + 1), static_cast<long long>(bad.i + 1), bad.difference);
}

// A dense A: square, finite, symmetric to 1e-12·max|A|.
size_t check_dense_A(const mex_args::Gateway& g, const mxArray* A, Call& call)
{
    require_matrix(g, A, 1, "A");
    const size_t n = mxGetM(A);
    if (mxGetN(A) != n || n < 2 || n > 2147483647u) {
        g.fail("sizes", "argument 1 (A) must be square and at least 2x2, got %llux%llu.",
               static_cast<unsigned long long>(mxGetM(A)),
               static_cast<unsigned long long>(mxGetN(A)));
    }
    call.A = mxGetPr(A);
    if (!all_finite(call.A, n * n)) g.fail("notFinite", "argument 1 (A) has NaN or Inf entries.");
    const double* a = call.A;
    const method::Asymmetry bad =
        method::dense_asymmetry(n, [a, n](size_t i, size_t j) { return a[i + n * j]; },
                                call.A_symmetric);
    if (bad.found) not_symmetric(g, bad);
    return n;
}

// A sparse A: real double, square, finite, symmetric to 1e-12·max|A| (an
// entry without a stored partner is compared with zero).
size_t check_sparse_A(const mex_args::Gateway& g, const mxArray* A, Call& call)
{
    if (!mxIsDouble(A) || mxIsComplex(A)) {
        g.fail("notRealDouble", "argument 1 (A) must be a real double matrix (full or sparse).");
    }
    const size_t n = mxGetM(A);
    if (mxGetN(A) != n || n < 2 || n > 2147483647u) {
        g.fail("sizes", "argument 1 (A) must be square and at least 2x2, got %llux%llu.",
               static_cast<unsigned long long>(mxGetM(A)),
               static_cast<unsigned long long>(mxGetN(A)));
    }
    const mwIndex* jc = mxGetJc(A);
    const mwIndex* ir = mxGetIr(A);
    const double* v = mxGetPr(A);
    const size_t nnz = jc[n];
    if (!all_finite(v, nnz)) g.fail("notFinite", "argument 1 (A) has NaN or Inf entries.");
    const method::Asymmetry bad = method::sparse_asymmetry(static_cast<int64_t>(n), jc, ir, v);
    if (bad.found) not_symmetric(g, bad);
    call.form = AForm::sparse;
    call.A = v;
    call.A_jc = jc;
    call.A_ir = ir;
    return n;
}

// A = scale·DᵀD given as struct('D', D, 'scale', scale): exactly those two
// fields, D a real full finite double m×n matrix (n ≥ 2), scale a real
// finite nonzero scalar.
size_t check_gram_A(const mex_args::Gateway& g, const mxArray* A, Call& call)
{
    if (mxGetNumberOfElements(A) != 1 || mxGetNumberOfFields(A) != 2 ||
        mxGetField(A, 0, "D") == nullptr || mxGetField(A, 0, "scale") == nullptr) {
        g.fail("badA", "argument 1 (A) given as a struct must be a scalar struct with exactly "
                       "the fields D and scale, for A = scale*D'*D.");
    }
    const mxArray* D = mxGetField(A, 0, "D");
    if (!mxIsDouble(D) || mxIsComplex(D) || mxIsSparse(D) || mxGetNumberOfDimensions(D) != 2) {
        g.fail("notRealDouble", "argument 1 (A.D) must be a real, full double matrix.");
    }
    const size_t m = mxGetM(D), n = mxGetN(D);
    if (m < 1 || n < 2 || m > 2147483647u || n > 2147483647u) {
        g.fail("sizes", "argument 1 (A.D) must be m-by-n with m >= 1 and n >= 2, got %llux%llu.",
               static_cast<unsigned long long>(m), static_cast<unsigned long long>(n));
    }
    if (!all_finite(mxGetPr(D), m * n)) g.fail("notFinite", "argument 1 (A.D) has NaN or Inf entries.");
    const mxArray* scale = mxGetField(A, 0, "scale");
    if (!mxIsDouble(scale) || mxIsComplex(scale) || mxIsSparse(scale) ||
        mxGetNumberOfElements(scale) != 1) {
        g.fail("badA", "argument 1 (A.scale) must be a real double scalar.");
    }
    const double c = mxGetScalar(scale);
    if (!std::isfinite(c) || c == 0) {
        g.fail("badA", "argument 1 (A.scale) must be finite and nonzero, got %g.", c);
    }
    call.form = AForm::gram;
    call.A = mxGetPr(D);
    call.m = static_cast<int32_t>(m);
    call.scale = c;
    return n;
}

// All checks; raises the host error on the first failure. Owns nothing.
void check_call(const mex_args::Gateway& g, int nlhs, int nrhs, const mxArray* prhs[], Call& call)
{
    if (nrhs < 4 || nrhs > 5) {
        g.fail("nargin", "expected 4 or 5 inputs (A, E, lambda, X0[, opts]), got %d.", nrhs);
    }
    if (nlhs > 2) g.fail("nargout", "expected at most 2 outputs, got %d.", nlhs);

    const mxArray* A = prhs[0];
    const size_t n = mxIsStruct(A)   ? check_gram_A(g, A, call)
                     : mxIsSparse(A) ? check_sparse_A(g, A, call)
                                     : check_dense_A(g, A, call);

    const mxArray* X0 = prhs[3];
    require_matrix(g, X0, 4, "X0");
    const size_t r = mxGetN(X0);
    if (mxGetM(X0) != n || r < 1 || r > n) {
        g.fail("sizes", "argument 4 (X0) must be %llu-by-r with 1 <= r <= %llu, got %llux%llu.",
               static_cast<unsigned long long>(n), static_cast<unsigned long long>(n),
               static_cast<unsigned long long>(mxGetM(X0)), static_cast<unsigned long long>(r));
    }
    call.X0 = mxGetPr(X0);
    if (!all_finite(call.X0, n * r)) g.fail("notFinite", "argument 4 (X0) has NaN or Inf entries.");
    const double* x0 = call.X0;
    const double defect =
        method::orthonormality_defect(n, r, [x0, n](size_t i, size_t c) { return x0[i + n * c]; });
    if (!(defect <= method::tolerances::start_feasibility)) {
        g.fail("notFeasible", "argument 4 (X0) must have orthonormal columns: "
                              "||X0'*X0 - I||_F = %g > 1e-8.", defect);
    }

    const mxArray* E = prhs[1];
    if (!mxIsEmpty(E)) {
        require_matrix(g, E, 2, "E");
        if (mxGetM(E) != n || mxGetN(E) != r) {
            g.fail("sizes", "argument 2 (E) must be [] or %llu-by-%llu like X0, got %llux%llu.",
                   static_cast<unsigned long long>(n), static_cast<unsigned long long>(r),
                   static_cast<unsigned long long>(mxGetM(E)),
                   static_cast<unsigned long long>(mxGetN(E)));
        }
        call.E = mxGetPr(E);
        if (!all_finite(call.E, n * r)) g.fail("notFinite", "argument 2 (E) has NaN or Inf entries.");
    } else if (!mxIsDouble(E) && !mxIsChar(E) && !mxIsNumeric(E) && !mxIsStruct(E) && !mxIsCell(E)) {
        g.fail("notRealDouble", "argument 2 (E) must be [] or a real double matrix.");
    }

    const mxArray* lambda = prhs[2];
    if (!mxIsDouble(lambda) || mxIsComplex(lambda) || mxIsSparse(lambda)) {
        g.fail("notRealDouble", "argument 3 (lambda) must be a real double scalar or vector.");
    }
    const size_t count = mxGetNumberOfElements(lambda);
    if (!(count == 1 || (count == r && (mxGetM(lambda) == 1 || mxGetN(lambda) == 1)))) {
        g.fail("sizes", "argument 3 (lambda) must be a scalar or a vector of %llu weights.",
               static_cast<unsigned long long>(r));
    }
    call.lambda = mxGetPr(lambda);
    call.lambda_count = count;
    for (size_t k = 0; k < count; ++k) {
        if (!std::isfinite(call.lambda[k])) g.fail("notFinite", "argument 3 (lambda) must be finite.");
        if (call.lambda[k] < 0) g.fail("negativeLambda", "argument 3 (lambda) must be >= 0.");
    }

    call.n = static_cast<int32_t>(n);
    call.r = static_cast<int32_t>(r);
    if (nrhs == 5) read_options(g, prhs[4], call);
}

mxArray* column(const std::vector<method::HistoryPoint>& h, double (*get)(const method::HistoryPoint&))
{
    mxArray* a = mxCreateDoubleMatrix(h.size(), 1, mxREAL);
    double* d = mxGetPr(a);
    for (size_t k = 0; k < h.size(); ++k) d[k] = get(h[k]);
    return a;
}

// The info struct handed to the callback and returned.
mxArray* info_struct(const method::Info& info, bool final_info)
{
    static const char* fields[] = {"f", "stop", "iterations", "pair_steps", "moves", "screened",
                                   "sweeps", "prox_steps", "time", "pair_gap", "stationarity",
                                   "stationarity_scale", "stationarity_converged",
                                   "feasibility", "f0", "phase",
                                   "pass_pairs_done", "pass_pairs_total", "touched", "history"};
    mxArray* s = mxCreateStructMatrix(1, 1, sizeof fields / sizeof fields[0], fields);
    mxSetField(s, 0, "f", mxCreateDoubleScalar(info.f));
    mxSetField(s, 0, "stop", mxCreateString(final_info ? info.stop.c_str() : ""));
    mxSetField(s, 0, "iterations", mxCreateDoubleScalar(static_cast<double>(info.iterations)));
    mxSetField(s, 0, "pair_steps", mxCreateDoubleScalar(static_cast<double>(info.pair_steps)));
    mxSetField(s, 0, "moves", mxCreateDoubleScalar(static_cast<double>(info.moves)));
    mxSetField(s, 0, "screened", mxCreateDoubleScalar(static_cast<double>(info.screened)));
    mxSetField(s, 0, "sweeps", mxCreateDoubleScalar(static_cast<double>(info.sweeps)));
    mxSetField(s, 0, "prox_steps", mxCreateDoubleScalar(static_cast<double>(info.prox_steps)));
    mxSetField(s, 0, "time", mxCreateDoubleScalar(info.time));
    mxSetField(s, 0, "pair_gap", mxCreateDoubleScalar(info.pair_gap));
    mxSetField(s, 0, "stationarity", mxCreateDoubleScalar(info.stationarity));
    mxSetField(s, 0, "stationarity_scale", mxCreateDoubleScalar(info.stationarity_scale));
    mxSetField(s, 0, "stationarity_converged", mxCreateLogicalScalar(info.stationarity_converged));
    mxSetField(s, 0, "feasibility", mxCreateDoubleScalar(final_info ? info.feasibility : NAN));
    mxSetField(s, 0, "f0", mxCreateDoubleScalar(info.f0));
    mxSetField(s, 0, "phase", mxCreateString(info.phase.c_str()));
    mxSetField(s, 0, "pass_pairs_done", mxCreateDoubleScalar(static_cast<double>(info.pass_pairs_done)));
    mxSetField(s, 0, "pass_pairs_total", mxCreateDoubleScalar(static_cast<double>(info.pass_pairs_total)));
    mxSetField(s, 0, "touched", mxCreateDoubleScalar(info.touched < 0 ? NAN : static_cast<double>(info.touched)));
    static const char* hfields[] = {"iteration", "f",      "time",     "moves",        "prox_steps",
                                    "sweeps",    "screened", "stationarity", "pair_gap"};
    mxArray* h = mxCreateStructMatrix(1, 1, sizeof hfields / sizeof hfields[0], hfields);
    using P = method::HistoryPoint;
    const auto& hist = info.history;
    mxSetField(h, 0, "iteration", column(hist, [](const P& x) { return double(x.iteration); }));
    mxSetField(h, 0, "f", column(hist, [](const P& x) { return x.f; }));
    mxSetField(h, 0, "time", column(hist, [](const P& x) { return x.time; }));
    mxSetField(h, 0, "moves", column(hist, [](const P& x) { return double(x.moves); }));
    mxSetField(h, 0, "prox_steps", column(hist, [](const P& x) { return double(x.prox_steps); }));
    mxSetField(h, 0, "sweeps", column(hist, [](const P& x) { return double(x.sweeps); }));
    mxSetField(h, 0, "screened", column(hist, [](const P& x) { return double(x.screened); }));
    mxSetField(h, 0, "stationarity", column(hist, [](const P& x) { return x.stationarity; }));
    mxSetField(h, 0, "pair_gap", column(hist, [](const P& x) { return x.pair_gap; }));
    mxSetField(s, 0, "history", h);
    return s;
}

// How the host side of the run ended: the engine stops on the hook's word,
// and these say which of the host's own reasons it was.
struct Outcome {
    bool callback_failed = false;
    bool interrupted = false;
    char message[400] = {};
};

// Shows the lines printed so far and lets the host handle pending events.
// Returns false when the host reports an error there: a Ctrl-C, which the
// host delivers at this point. The trapping form keeps the error inside the
// host's error object, so the run can end cleanly instead of leaving this
// function with the engine's memory still held. Called at every progress
// point, printing or not, so that any run can be interrupted.
//
// Octave delivers a Ctrl-C as a C++ exception of its own, which the trapping
// form does not trap: it is caught here, and the run ends as interrupted.
bool poll_host()
{
    try {
        mxArray* error = mexEvalStringWithTrap(
            "if exist('OCTAVE_VERSION', 'builtin'), fflush(stdout); else, drawnow('update'); end");
        if (error == nullptr) return true;
        mxDestroyArray(error);
    } catch (...) {
    }
    return false;
}

// The message of an error trapped by the host: a struct with a field
// "message" in Octave, an MException object in MATLAB.
void trapped_message(const mxArray* error, char* text, size_t size)
{
    text[0] = '\0';
    if (mxIsStruct(error)) {
        const mxArray* message = mxGetField(error, 0, "message");
        if (message != nullptr && mxIsChar(message)) mxGetString(message, text, size);
        return;
    }
    mxArray* message = mxGetProperty(error, 0, "message");
    if (message != nullptr) {
        if (mxIsChar(message)) mxGetString(message, text, size);
        mxDestroyArray(message);
    }
}

// Calls the user's callback with the info so far. Its answer stops the run
// only when it is a logical true; any other value (a count from fprintf, a
// number, nothing at all) lets the run go on. A struct with the char field
// callback_error is how a front end that wrapped the callback in M-code
// reports an error inside it, with the error's own message (Octave does
// not hand that message to a MEX-file).
bool call_back(const mxArray* callback, const method::Info& so_far, Outcome& outcome)
{
    mxArray* in[2] = {const_cast<mxArray*>(callback), info_struct(so_far, false)};
    mxArray* out[1] = {nullptr};
    mxArray* error = nullptr;
    try {
        error = mexCallMATLABWithTrap(1, out, 2, in, "feval");
    } catch (...) {
        // A Ctrl-C inside the callback (see poll_host).
        mxDestroyArray(in[1]);
        outcome.interrupted = true;
        return true;
    }
    mxDestroyArray(in[1]);
    char text[300] = {};
    if (error != nullptr) {
        trapped_message(error, text, sizeof text);
        mxDestroyArray(error);
        if (text[0] == '\0' || std::strstr(text, "function call <feval> failed") != nullptr) {
            std::snprintf(text, sizeof text, "%s",
                          "the callback raised an error or returned no value (this host does not "
                          "pass the callback's own message to orthopair_run; orthopair_solve "
                          "does, and accepts callbacks without an output)");
        }
        outcome.callback_failed = true;
    } else if (out[0] != nullptr) {
        const mxArray* reported = mxIsStruct(out[0]) && mxGetNumberOfElements(out[0]) == 1
                                      ? mxGetField(out[0], 0, "callback_error")
                                      : nullptr;
        if (reported != nullptr) {
            if (mxIsChar(reported)) mxGetString(reported, text, sizeof text);
            outcome.callback_failed = true;
        }
    }
    if (outcome.callback_failed) {
        std::snprintf(outcome.message, sizeof outcome.message, "%s", text);
    }
    const bool stop_asked = out[0] != nullptr && mxIsLogical(out[0]) &&
                            mxGetNumberOfElements(out[0]) == 1 && mxIsLogicalScalarTrue(out[0]);
    if (out[0] != nullptr) mxDestroyArray(out[0]);
    return outcome.callback_failed || stop_asked;
}

// The r×m transpose of a column-major m×r matrix.
std::vector<double> transposed(const double* M, size_t m, size_t r)
{
    std::vector<double> T(m * r);
    for (size_t i = 0; i < m; ++i) {
        for (size_t c = 0; c < r; ++c) T[c + r * i] = M[i + m * c];
    }
    return T;
}

// The problem as the engine takes it. The checks allowed A to be symmetric
// up to rounding; the method relies on exact symmetry (A(i, j) and A(j, i)
// are one number in every pair model), so it works on the symmetric part: a
// dense A that is not exactly symmetric is copied into A_copy, a sparse one
// is symmetrised as it is copied into the operator's own arrays, and
// scale·DᵀD is symmetric by construction.
method::Problem make_problem(const Call& call, std::vector<double>& A_copy)
{
    const int32_t n = call.n, r = call.r;
    const size_t nn = static_cast<size_t>(n);
    method::Problem problem;
    problem.n = n;
    problem.r = r;
    switch (call.form) {
    case AForm::dense:
        if (!call.A_symmetric) {
            A_copy.assign(call.A, call.A + nn * nn);
            method::make_symmetric(nn, A_copy.data());
        }
        problem.A = method::dense_operator(n, call.A_symmetric ? call.A : A_copy.data());
        break;
    case AForm::sparse: {
        const size_t nnz = call.A_jc[n];
        const std::vector<int64_t> jc(call.A_jc, call.A_jc + n + 1), ir(call.A_ir, call.A_ir + nnz);
        problem.A = method::sparse_operator(n, jc.data(), ir.data(), call.A);
        break;
    }
    case AForm::gram:
        problem.A = method::gram_operator(call.m, n, call.A, call.scale);
        break;
    }
    problem.lambda.resize(r);
    for (int32_t c = 0; c < r; ++c) {
        problem.lambda[c] = call.lambda[call.lambda_count == 1 ? 0 : c];
    }
    if (call.E) problem.Et = transposed(call.E, nn, static_cast<size_t>(r));
    return problem;
}

// One progress line, after the header the first time.
void print_progress(const method::Info& info, bool& header)
{
    if (!header) {
        mexPrintf("%9s  %-5s %24s %24s %10s %8s %11s %11s\n", "time [s]", "phase",
                  "pairs done of all", "F", "moves", "prox", "stationar.", "pair gap");
        header = true;
    }
    char pairs[32] = "-";
    if (info.pass_pairs_total > 0) {
        std::snprintf(pairs, sizeof pairs, "%lld / %lld", static_cast<long long>(info.pass_pairs_done),
                      static_cast<long long>(info.pass_pairs_total));
    }
    mexPrintf("%9.2f  %-5s %24s %24.16e %10lld %8lld %11.3e %11.3e\n", info.time,
              info.phase.c_str(), pairs, info.f, static_cast<long long>(info.moves),
              static_cast<long long>(info.prox_steps), info.stationarity / info.stationarity_scale,
              info.pair_gap);
}

// The closing line of a printing run.
void print_summary(const method::Info& info)
{
    mexPrintf("stopped: %s after %lld iterations (%lld moves, %lld pairs settled by their "
              "bound, %lld pairs solved without a move, %lld prox steps), F = %.16e, "
              "stationarity %.4e (relative to %.3e), pair gap %.4e, %.3f s\n",
              info.stop.c_str(), static_cast<long long>(info.iterations),
              static_cast<long long>(info.moves), static_cast<long long>(info.screened),
              static_cast<long long>(info.pair_steps - info.moves - info.screened),
              static_cast<long long>(info.prox_steps), info.f,
              info.stationarity / info.stationarity_scale, info.stationarity_scale, info.pair_gap,
              info.time);
    poll_host();
}

// X (n×r, from the engine's Xt) and, when asked for, the info struct with
// what ended the run in words: the callback's own message after
// 'callback_error'.
void set_outputs(const Call& call, const std::vector<double>& Xt, const method::Info& info,
                 const Outcome& outcome, int nlhs, mxArray* plhs[])
{
    const std::vector<double> X = transposed(Xt.data(), static_cast<size_t>(call.r),
                                             static_cast<size_t>(call.n));
    plhs[0] = mxCreateDoubleMatrix(call.n, call.r, mxREAL);
    std::copy(X.begin(), X.end(), mxGetPr(plhs[0]));
    if (nlhs > 1) {
        plhs[1] = info_struct(info, true);
        mxAddField(plhs[1], "message");
        mxSetField(plhs[1], 0, "message",
                   mxCreateString(info.reason == method::Stop::callback_error
                                      ? outcome.message
                                      : method::stop_text(info.reason).message));
    }
}

void run_call(const Call& call, int nlhs, mxArray* plhs[], Outcome& outcome)
{
    std::vector<double> A_copy;
    const method::Problem problem = make_problem(call, A_copy);
    std::vector<double> Xt = transposed(call.X0, static_cast<size_t>(call.n),
                                        static_cast<size_t>(call.r));

    method::Options options = call.settings;
    const bool printing = call.settings.verbose || call.settings.print_every > 0;
    if (call.settings.print_every > 0) options.progress_every = call.settings.print_every;
    bool header = false;
    auto hook = [&](const method::Info& info) -> bool {
        if (printing) print_progress(info, header);
        if (!poll_host()) {
            outcome.interrupted = true;
            return true;
        }
        if (call.callback == nullptr || outcome.callback_failed || outcome.interrupted) {
            return outcome.callback_failed || outcome.interrupted;
        }
        return call_back(call.callback, info, outcome);
    };

    method::Info info = method::run(problem, options, Xt, hook);
    // The engine stopped on the hook's word ('callback'); say which word it was.
    if (info.reason == method::Stop::callback && outcome.interrupted) {
        info.reason = method::Stop::interrupted;
    } else if (info.reason == method::Stop::callback && outcome.callback_failed) {
        info.reason = method::Stop::callback_error;
    }
    info.stop = method::stop_text(info.reason).word;
    if (printing) print_summary(info);
    set_outputs(call, Xt, info, outcome, nlhs, plhs);
}

}  // namespace

ORTHOPAIR_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    // The time limit counts from here: the checks and copies are part of it.
    const auto entered = std::chrono::steady_clock::now();
    const mex_args::Gateway gateway(NAME, nrhs, prhs);
    if (nrhs == 0) {
        if (nlhs > 1) gateway.fail("nargout", "orthopair_run() returns one output, the table of options.");
        plhs[0] = option_table();
        return;
    }
    Call call;
    check_call(gateway, nlhs, nrhs, prhs, call);
    call.settings.started = entered;

    Outcome outcome;
    const mex_args::KernelStatus status =
        mex_args::run_kernel([&] { run_call(call, nlhs, plhs, outcome); });
    if (status.kind != mex_args::KernelStatus::ok) {
        for (int k = 0; k < (nlhs > 1 ? 2 : 1); ++k) {
            if (plhs[k] != nullptr) {
                mxDestroyArray(plhs[k]);
                plhs[k] = nullptr;
            }
        }
        gateway.kernel_failed(status);
    }
    if (outcome.callback_failed) {
        // The run has ended and returns its X; the user still hears of it.
        mexWarnMsgIdAndTxt("orthopair_run:callback_error", "the callback raised an error: %s",
                           outcome.message);
    }
}
