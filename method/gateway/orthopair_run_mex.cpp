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
// default, type, range), the one source of the defaults the help text lists.

#include "common/host/mex_args.h"
#include "method.h"
#include "tolerances.h"

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
    method::Options options;
    bool verbose = false;
    double print_every = 0;
    const mxArray* callback = nullptr;
};

// The options: their names, what values they take and, through
// method::Options, their defaults. read_options and the table that
// orthopair_run() returns both come from here.
enum class OptionKind { rule, whole, number, flag, callback };

struct OptionSpec {
    const char* name;
    OptionKind kind;
    double lo, hi;
};

constexpr OptionSpec OPTIONS[] = {
    {"rule", OptionKind::rule, 0, 0},
    {"max_iter", OptionKind::whole, 0, HUGE_VAL},
    {"time_limit", OptionKind::number, 0, HUGE_VAL},
    {"target_f", OptionKind::number, -HUGE_VAL, HUGE_VAL},
    {"tol", OptionKind::number, 0, HUGE_VAL},
    {"tol_stat", OptionKind::number, 0, HUGE_VAL},
    {"n_trials", OptionKind::whole, 1, 2147483647.0},
    {"certify", OptionKind::flag, 0, 1},
    {"prox", OptionKind::flag, 0, 1},
    {"seed", OptionKind::whole, 0, 4294967295.0},
    {"verbose", OptionKind::flag, 0, 1},
    {"print_interval", OptionKind::number, 0, HUGE_VAL},
    {"print_every", OptionKind::whole, 0, 9e18},
    {"callback", OptionKind::callback, 0, 0},
};

const struct {
    const char* name;
    method::Rule rule;
} RULES[] = {{"mixed", method::Rule::mixed},     {"zandrel", method::Rule::zandrel},
             {"tolmiv", method::Rule::tolmiv},   {"uniform", method::Rule::uniform},
             {"sweep", method::Rule::sweep},     {"prox", method::Rule::prox}};

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

// A numeric option: a real scalar, not NaN, inside [lo, hi]; whole if asked.
double number_option(const mex_args::Gateway& g, const mxArray* v, const char* name, double lo,
                     double hi, bool whole)
{
    if (mxGetNumberOfElements(v) != 1 || mxIsComplex(v) || mxIsSparse(v) || !mxIsNumeric(v)) {
        g.fail("badOption", "option %s must be a real number, got a %s.", name,
               mxGetNumberOfElements(v) != 1 ? "non-scalar" : mxGetClassName(v));
    }
    const double x = mxGetScalar(v);
    if (!(x >= lo && x <= hi) || (whole && std::isfinite(x) && x != std::floor(x))) {
        g.fail("badOption", "option %s must be %s in [%g, %g], got %g.", name,
               whole ? "a whole number" : "a number", lo, hi, x);
    }
    return x;
}

// A flag: true or false (logical), or the number 0 or 1.
bool flag_option(const mex_args::Gateway& g, const mxArray* v, const char* name)
{
    if (mxGetNumberOfElements(v) != 1 || (!mxIsLogical(v) && !mxIsNumeric(v)) ||
        mxIsComplex(v) || mxIsSparse(v) || !(mxGetScalar(v) == 0 || mxGetScalar(v) == 1)) {
        g.fail("badOption", "option %s must be true or false.", name);
    }
    return mxGetScalar(v) != 0;
}

void read_options(const mex_args::Gateway& g, const mxArray* opts, Call& call)
{
    if (mxIsEmpty(opts) && !mxIsStruct(opts) && mxIsDouble(opts)) return;
    if (!mxIsStruct(opts) || mxGetNumberOfElements(opts) != 1) {
        g.fail("badOption", "argument 5 (opts) must be a scalar struct or [].");
    }
    const int fields = mxGetNumberOfFields(opts);
    for (int k = 0; k < fields; ++k) {
        const char* field = mxGetFieldNameByNumber(opts, k);
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& entry : OPTIONS) {
            if (std::strcmp(field, entry.name) == 0) spec = &entry;
        }
        if (spec == nullptr) {
            g.fail("badOption",
                   "unknown option '%s' in argument 5 (opts); known: rule, max_iter, "
                   "time_limit, target_f, tol, tol_stat, n_trials, certify, prox, seed, verbose, "
                   "print_interval, print_every, callback.",
                   field);
        }
        const mxArray* v = mxGetFieldByNumber(opts, 0, k);
        if (v == nullptr || mxIsEmpty(v)) continue;  // empty means the default
        method::Options& o = call.options;
        double x = 0;
        bool flag = false;
        switch (spec->kind) {
        case OptionKind::rule: {
            char text[16] = {};
            bool found = false;
            if (mxIsChar(v) && mxGetNumberOfElements(v) < sizeof text &&
                mxGetString(v, text, sizeof text) == 0) {
                for (const auto& entry : RULES) {
                    if (!std::strcmp(text, entry.name)) {
                        o.rule = entry.rule;
                        found = true;
                    }
                }
            }
            if (!found) {
                g.fail("badOption", "option rule must be one of 'mixed', 'zandrel', 'tolmiv', "
                                    "'uniform', 'sweep', 'prox'.");
            }
            continue;
        }
        case OptionKind::callback:
            if (!mxIsClass(v, "function_handle")) {
                g.fail("badOption", "option callback must be a function handle, got a %s.",
                       mxGetClassName(v));
            }
            call.callback = v;
            continue;
        case OptionKind::flag: flag = flag_option(g, v, field); break;
        case OptionKind::whole: x = number_option(g, v, field, spec->lo, spec->hi, true); break;
        case OptionKind::number: x = number_option(g, v, field, spec->lo, spec->hi, false); break;
        }
        if (!std::strcmp(field, "max_iter")) {
            o.max_iter = x >= 9e18 ? INT64_MAX : static_cast<int64_t>(x);
        } else if (!std::strcmp(field, "time_limit")) {
            o.time_limit = x;
        } else if (!std::strcmp(field, "target_f")) {
            o.target_f = x;
        } else if (!std::strcmp(field, "tol")) {
            o.tol = x;
        } else if (!std::strcmp(field, "tol_stat")) {
            o.tol_stat = x;
        } else if (!std::strcmp(field, "n_trials")) {
            o.n_trials = static_cast<int32_t>(x);
        } else if (!std::strcmp(field, "certify")) {
            o.certify = flag;
        } else if (!std::strcmp(field, "prox")) {
            o.prox = flag;
        } else if (!std::strcmp(field, "seed")) {
            o.seed = static_cast<uint32_t>(x);
        } else if (!std::strcmp(field, "verbose")) {
            call.verbose = flag;
        } else if (!std::strcmp(field, "print_interval")) {
            o.print_interval = x;
        } else if (!std::strcmp(field, "print_every")) {
            call.print_every = x;
        }
    }
}

// The table of options, one element per option: name, default (as the run
// uses it when the option is absent or []), type and range.
mxArray* option_table()
{
    const method::Options d;
    static const char* fields[] = {"name", "default", "type", "range"};
    const size_t count = sizeof OPTIONS / sizeof OPTIONS[0];
    mxArray* t = mxCreateStructMatrix(count, 1, 4, fields);
    for (size_t k = 0; k < count; ++k) {
        const OptionSpec& o = OPTIONS[k];
        const std::string name = o.name;
        mxArray* value = nullptr;
        const char* type = "";
        if (name == "rule") {
            const char* rule = "";
            for (const auto& entry : RULES) {
                if (entry.rule == d.rule) rule = entry.name;
            }
            value = mxCreateString(rule);
            type = "one of 'mixed', 'zandrel', 'tolmiv', 'uniform', 'sweep', 'prox'";
        } else if (name == "max_iter") {
            value = mxCreateDoubleScalar(static_cast<double>(d.max_iter));
        } else if (name == "time_limit") {
            value = mxCreateDoubleScalar(d.time_limit);
        } else if (name == "target_f") {
            value = mxCreateDoubleScalar(d.target_f);
        } else if (name == "tol") {
            value = mxCreateDoubleScalar(d.tol);
        } else if (name == "tol_stat") {
            value = mxCreateDoubleScalar(d.tol_stat);
        } else if (name == "n_trials") {
            value = mxCreateString(d.n_trials == 0 ? "n" : "");
        } else if (name == "certify") {
            value = mxCreateLogicalScalar(d.certify);
        } else if (name == "prox") {
            value = mxCreateLogicalScalar(d.prox);
        } else if (name == "seed") {
            value = mxCreateDoubleScalar(d.seed);
        } else if (name == "verbose") {
            value = mxCreateLogicalScalar(Call{}.verbose);
        } else if (name == "print_interval") {
            value = mxCreateDoubleScalar(d.print_interval);
        } else if (name == "print_every") {
            value = mxCreateDoubleScalar(Call{}.print_every);
        } else {
            value = mxCreateDoubleMatrix(0, 0, mxREAL);
            type = "function handle";
        }
        if (o.kind == OptionKind::whole) type = "whole number";
        if (o.kind == OptionKind::number) type = "number";
        if (o.kind == OptionKind::flag) type = "logical";
        mxSetField(t, k, "name", mxCreateString(o.name));
        mxSetField(t, k, "default", value);
        mxSetField(t, k, "type", mxCreateString(type));
        mxArray* range = mxCreateDoubleMatrix(1, 2, mxREAL);
        mxGetPr(range)[0] = o.kind == OptionKind::callback || o.kind == OptionKind::rule ? NAN : o.lo;
        mxGetPr(range)[1] = o.kind == OptionKind::callback || o.kind == OptionKind::rule ? NAN : o.hi;
        mxSetField(t, k, "range", range);
    }
    return t;
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
    double amax = 0;
    for (size_t k = 0; k < n * n; ++k) amax = std::fmax(amax, std::fabs(call.A[k]));
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < j; ++i) {
            const double d = call.A[i + n * j] - call.A[j + n * i];
            if (d != 0) call.A_symmetric = false;
            if (std::fabs(d) > method::tolerances::symmetry * amax) {
                g.fail("notSymmetric", "argument 1 (A) must be symmetric: A(%llu,%llu) and "
                                       "A(%llu,%llu) differ by %g.",
                       static_cast<unsigned long long>(i + 1), static_cast<unsigned long long>(j + 1),
                       static_cast<unsigned long long>(j + 1), static_cast<unsigned long long>(i + 1),
                       d);
            }
        }
    }
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
    double amax = 0;
    for (size_t q = 0; q < nnz; ++q) amax = std::fmax(amax, std::fabs(v[q]));
    for (size_t j = 0; j < n; ++j) {
        for (mwIndex q = jc[j]; q < jc[j + 1]; ++q) {
            const size_t i = ir[q];
            // A(j, i): row j in column i, by bisection over its sorted rows.
            const mwIndex* first = ir + jc[i];
            const mwIndex* last = ir + jc[i + 1];
            const mwIndex* at = std::lower_bound(first, last, static_cast<mwIndex>(j));
            const double partner = (at != last && *at == static_cast<mwIndex>(j)) ? v[at - ir] : 0.0;
            if (std::fabs(v[q] - partner) > method::tolerances::symmetry * amax) {
                g.fail("notSymmetric", "argument 1 (A) must be symmetric: A(%llu,%llu) and "
                                       "A(%llu,%llu) differ by %g.",
                       static_cast<unsigned long long>(i + 1), static_cast<unsigned long long>(j + 1),
                       static_cast<unsigned long long>(j + 1), static_cast<unsigned long long>(i + 1),
                       v[q] - partner);
            }
        }
    }
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
    double defect = 0;
    for (size_t b = 0; b < r; ++b) {
        for (size_t a = 0; a <= b; ++a) {
            double s = 0;
            for (size_t i = 0; i < n; ++i) s += call.X0[i + n * a] * call.X0[i + n * b];
            const double d = s - (a == b ? 1.0 : 0.0);
            defect += (a == b ? 1.0 : 2.0) * d * d;
        }
    }
    if (!(std::sqrt(defect) <= 1e-8)) {
        g.fail("notFeasible", "argument 4 (X0) must have orthonormal columns: "
                              "||X0'*X0 - I||_F = %g > 1e-8.", std::sqrt(defect));
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

void run_call(const Call& call, int nlhs, mxArray* plhs[], Outcome& outcome)
{
    const int32_t n = call.n, r = call.r;
    method::Problem problem;
    problem.n = n;
    problem.r = r;
    // The checks allowed A to be symmetric up to rounding; the method relies
    // on exact symmetry (A(i, j) and A(j, i) are one number in every pair
    // model), so it works on the symmetric part: a dense A that is not
    // exactly symmetric is copied, a sparse one is symmetrised as it is
    // copied into the operator's own arrays, and scale·DᵀD is symmetric by
    // construction.
    std::vector<double> A;
    switch (call.form) {
    case AForm::dense:
        if (call.A_symmetric) {
            problem.A = method::dense_operator(n, call.A);
            break;
        }
        A.assign(call.A, call.A + static_cast<size_t>(n) * n);
        for (int32_t j = 0; j < n; ++j) {
            for (int32_t i = 0; i < j; ++i) {
                const double v =
                    0.5 * (A[i + static_cast<size_t>(n) * j] + A[j + static_cast<size_t>(n) * i]);
                A[i + static_cast<size_t>(n) * j] = v;
                A[j + static_cast<size_t>(n) * i] = v;
            }
        }
        problem.A = method::dense_operator(n, A.data());
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
    if (call.E) {
        problem.Et.resize(static_cast<size_t>(n) * r);
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t c = 0; c < r; ++c) {
                problem.Et[c + static_cast<size_t>(r) * i] = call.E[i + static_cast<size_t>(n) * c];
            }
        }
    }
    std::vector<double> Xt(static_cast<size_t>(n) * r);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < r; ++c) {
            Xt[c + static_cast<size_t>(r) * i] = call.X0[i + static_cast<size_t>(n) * c];
        }
    }

    method::Options options = call.options;
    const bool printing = call.verbose || call.print_every > 0;
    if (call.print_every > 0) options.progress_every = static_cast<int64_t>(call.print_every);
    bool header = false;
    auto hook = [&](const method::Info& info) -> bool {
        if (printing) {
            if (!header) {
                mexPrintf("%9s  %-5s %24s %24s %10s %8s %11s %11s\n", "time [s]", "phase",
                          "pairs done of all", "F", "moves", "prox", "stationar.", "pair gap");
                header = true;
            }
            char pairs[32] = "-";
            if (info.pass_pairs_total > 0) {
                std::snprintf(pairs, sizeof pairs, "%lld / %lld",
                              static_cast<long long>(info.pass_pairs_done),
                              static_cast<long long>(info.pass_pairs_total));
            }
            mexPrintf("%9.2f  %-5s %24s %24.16e %10lld %8lld %11.3e %11.3e\n", info.time,
                      info.phase.c_str(), pairs, info.f, static_cast<long long>(info.moves),
                      static_cast<long long>(info.prox_steps),
                      info.stationarity / info.stationarity_scale, info.pair_gap);
        }
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
    if (printing) {
        mexPrintf("stopped: %s after %lld iterations (%lld moves, %lld pairs settled by their "
                  "bound, %lld pairs solved without a move, %lld prox steps), F = %.16e, "
                  "stationarity %.4e (relative to %.3e), pair gap %.4e, %.3f s\n",
                  info.stop.c_str(), static_cast<long long>(info.iterations),
                  static_cast<long long>(info.moves), static_cast<long long>(info.screened),
                  static_cast<long long>(info.pair_steps - info.moves - info.screened),
                  static_cast<long long>(info.prox_steps), info.f,
                  info.stationarity / info.stationarity_scale, info.stationarity_scale,
                  info.pair_gap, info.time);
        poll_host();
    }
    plhs[0] = mxCreateDoubleMatrix(n, r, mxREAL);
    double* X = mxGetPr(plhs[0]);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < r; ++c) {
            X[i + static_cast<size_t>(n) * c] = Xt[c + static_cast<size_t>(r) * i];
        }
    }
    if (nlhs > 1) {
        plhs[1] = info_struct(info, true);
        // What ended the run, in words; the callback's own message after
        // 'callback_error'.
        mxAddField(plhs[1], "message");
        mxSetField(plhs[1], 0, "message",
                   mxCreateString(info.reason == method::Stop::callback_error
                                      ? outcome.message
                                      : method::stop_text(info.reason).message));
    }
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
    call.options.started = entered;

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
