#include "operator.h"

#include <algorithm>
#include <cmath>
#include <utility>

// One thread: a parallel product would sum in an order that depends on the
// scheduling.
#define EIGEN_DONT_PARALLELIZE
#include <Eigen/Core>

#include "tolerances.h"

namespace method {
namespace {

namespace tl = tolerances;

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic>;
using ConstMap = Eigen::Map<const Matrix>;
using Map = Eigen::Map<Matrix>;

// Rows of X gathered per block in the dense product: the block of columns of
// A is kept near 8 MB.
int32_t gather_block(int32_t n)
{
    return std::max<int32_t>(8, std::min<int32_t>(64, (1 << 20) / n));
}

// The rows of X that are not zero.
std::vector<int32_t> live_rows(int32_t n, int32_t r, const double* Xt)
{
    std::vector<int32_t> live;
    for (int32_t l = 0; l < n; ++l) {
        const double* x = Xt + static_cast<size_t>(r) * l;
        if (std::any_of(x, x + r, [](double v) { return v != 0; })) live.push_back(l);
    }
    return live;
}

// Whether gathering the live rows pays: when at least a fraction of the
// rows are live, the whole product is the faster.
bool gather_pays(size_t live, size_t n)
{
    return tl::live_share_den * live < tl::live_share_num * n;
}

// out = Σ x_l·b_lᵀ over the live rows l of X, b_l being column l of B
// (rows × n, column-major): the live rows and their columns of B are gathered
// block rows at a time and multiplied.
void gathered_product(int32_t r, const double* Xt, const std::vector<int32_t>& live,
                      const double* B, int32_t rows, int32_t block, Map& out)
{
    const size_t R = static_cast<size_t>(r), M = static_cast<size_t>(rows);
    out.setZero();
    Matrix Xb(r, block), Bb(rows, block);
    for (size_t start = 0; start < live.size(); start += block) {
        const int32_t count = static_cast<int32_t>(std::min<size_t>(block, live.size() - start));
        for (int32_t b = 0; b < count; ++b) {
            const int32_t l = live[start + b];
            std::copy(Xt + R * l, Xt + R * (l + 1), Xb.data() + R * b);
            std::copy(B + M * l, B + M * (l + 1), Bb.data() + M * b);
        }
        out.noalias() += Xb.leftCols(count) * Bb.leftCols(count).transpose();
    }
}

// AXt = Xt·A for dense A. Rows of X that are zero (most of them at a sparse
// point) contribute nothing, so when many are zero only the others are
// gathered, with their columns of A (= their rows, A being symmetric).
void multiply_dense(const Operator& A, int32_t r, const double* Xt, double* AXt)
{
    const int32_t n = A.n;
    const std::vector<int32_t> live = live_rows(n, r, Xt);
    Map out(AXt, r, n);
    if (gather_pays(live.size(), static_cast<size_t>(n))) {
        gathered_product(r, Xt, live, A.dense, n, gather_block(n), out);
    } else {
        out.noalias() = ConstMap(Xt, r, n) * ConstMap(A.dense, n, n);
    }
}

// AXt = Xt·A for sparse A: column l of AXt is Σ_k A(k, l)·Xt(:, k) over the
// stored entries of column l (A(l, k) = A(k, l)).
void multiply_sparse(const Operator& A, int32_t r, const double* Xt, double* AXt)
{
    const size_t R = static_cast<size_t>(r);
    for (int32_t l = 0; l < A.n; ++l) {
        double* out = AXt + R * l;
        std::fill(out, out + r, 0.0);
        for (int64_t q = A.col_start[l]; q < A.col_start[l + 1]; ++q) {
            const double a = A.value[q];
            const double* x = Xt + R * A.row_index[q];
            for (int32_t c = 0; c < r; ++c) out[c] += a * x[c];
        }
    }
}

// DXt = Xt·Dᵀ (r×m). As in the dense product, when many rows of X are zero
// only the others are gathered, with their columns of D.
void multiply_data(const Operator& A, int32_t r, const double* Xt, double* DXt)
{
    constexpr int32_t block = 256;
    const std::vector<int32_t> live = live_rows(A.n, r, Xt);
    Map out(DXt, r, A.m);
    if (gather_pays(live.size(), static_cast<size_t>(A.n))) {
        gathered_product(r, Xt, live, A.D, A.m, block, out);
    } else {
        out.noalias() = ConstMap(Xt, r, A.n) * ConstMap(A.D, A.m, A.n).transpose();
    }
}

// AXt = scale·DXt·D (r×n).
void expand_data(const Operator& A, int32_t r, const double* DXt, double* AXt)
{
    Map out(AXt, r, A.n);
    out.noalias() = ConstMap(DXt, r, A.m) * ConstMap(A.D, A.m, A.n);
    out *= A.scale;
}

// Row i of A·X from DXt: scale·Σ_k D(k, i)·DXt(:, k).
void data_row(const Operator& A, int32_t r, const double* DXt, int32_t i, double* out)
{
    const double* d = A.D + static_cast<size_t>(A.m) * i;
    std::fill(out, out + r, 0.0);
    for (int32_t k = 0; k < A.m; ++k) {
        const double a = d[k];
        const double* y = DXt + static_cast<size_t>(r) * k;
        for (int32_t c = 0; c < r; ++c) out[c] += a * y[c];
    }
    for (int32_t c = 0; c < r; ++c) out[c] *= A.scale;
}

// out(:, l) += B(l, i)·di + B(l, j)·dj for every l < rows, where B(:, i) and
// B(:, j) are columns of B (rows × n, column-major) and out is r × rows: the
// change of Xt·Bᵀ when rows i and j of X change by di and dj.
void rank_two_update(int32_t r, const double* B, int32_t rows, int32_t i, int32_t j,
                     const double* di, const double* dj, double* out)
{
    const size_t R = static_cast<size_t>(r);
    const double* bi = B + static_cast<size_t>(rows) * i;
    const double* bj = B + static_cast<size_t>(rows) * j;
    for (int32_t l = 0; l < rows; ++l) {
        double* o = out + R * l;
        const double a = bi[l], b = bj[l];
        for (int32_t c = 0; c < r; ++c) o[c] += a * di[c] + b * dj[c];
    }
}

void keep_diagonal(Operator& op)
{
    std::vector<double> d(op.n);
    diagonal(op, d.data());
    op.diag.swap(d);
}

// A matrix in compressed columns, owning its arrays.
struct CompressedColumns {
    std::vector<int64_t> start, row;
    std::vector<double> value;
};

// Whether every column's rows are strictly ascending.
bool rows_ascending(int32_t n, const int64_t* col_start, const int64_t* row_index)
{
    for (int32_t j = 0; j < n; ++j) {
        for (int64_t q = col_start[j] + 1; q < col_start[j + 1]; ++q) {
            if (row_index[q] <= row_index[q - 1]) return false;
        }
    }
    return true;
}

// The same matrix with each column's rows sorted and repeated rows added up
// (in their stored order).
CompressedColumns sorted_columns(int32_t n, const int64_t* col_start, const int64_t* row_index,
                                 const double* value)
{
    CompressedColumns out;
    out.start.assign(static_cast<size_t>(n) + 1, 0);
    std::vector<std::pair<int64_t, double>> column;
    for (int32_t j = 0; j < n; ++j) {
        column.clear();
        for (int64_t q = col_start[j]; q < col_start[j + 1]; ++q) {
            column.emplace_back(row_index[q], value[q]);
        }
        std::stable_sort(column.begin(), column.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t k = 0; k < column.size(); ++k) {
            if (k > 0 && column[k].first == column[k - 1].first) {
                out.value.back() += column[k].second;
            } else {
                out.row.push_back(column[k].first);
                out.value.push_back(column[k].second);
            }
        }
        out.start[j + 1] = static_cast<int64_t>(out.row.size());
    }
    return out;
}

// Aᵀ in compressed columns (its column k is row k of A), by counting; the
// rows of each column come out ascending.
CompressedColumns transposed(int32_t n, const int64_t* col_start, const int64_t* row_index,
                             const double* value)
{
    const size_t N = static_cast<size_t>(n);
    const int64_t nnz = col_start[n];
    CompressedColumns t;
    t.start.assign(N + 1, 0);
    for (int64_t q = 0; q < nnz; ++q) ++t.start[row_index[q] + 1];
    for (size_t k = 0; k < N; ++k) t.start[k + 1] += t.start[k];
    t.row.resize(nnz);
    t.value.resize(nnz);
    std::vector<int64_t> next(t.start.begin(), t.start.end() - 1);
    for (int32_t j = 0; j < n; ++j) {
        for (int64_t q = col_start[j]; q < col_start[j + 1]; ++q) {
            const int64_t at = next[row_index[q]]++;
            t.row[at] = j;  // ascending, since j runs ascending
            t.value[at] = value[q];
        }
    }
    return t;
}

// ½·(A + Aᵀ), column by column as the merge of two ascending lists;
// explicit zeros of the sum are dropped.
Operator symmetric_part(int32_t n, const int64_t* col_start, const int64_t* row_index,
                        const double* value, const CompressedColumns& t)
{
    const int64_t nnz = col_start[n];
    Operator op;
    op.kind = OperatorKind::sparse;
    op.n = n;
    op.col_start.assign(static_cast<size_t>(n) + 1, 0);
    op.row_index.reserve(nnz);
    op.value.reserve(nnz);
    for (int32_t j = 0; j < n; ++j) {
        int64_t p = col_start[j], pe = col_start[j + 1];
        int64_t q = t.start[j], qe = t.start[j + 1];
        while (p < pe || q < qe) {
            const int64_t ip = p < pe ? row_index[p] : INT64_MAX;
            const int64_t iq = q < qe ? t.row[q] : INT64_MAX;
            const int64_t i = std::min(ip, iq);
            const double a = ip == i ? value[p++] : 0.0;
            const double b = iq == i ? t.value[q++] : 0.0;
            const double v = a == b ? a : 0.5 * (a + b);
            if (v != 0) {
                op.row_index.push_back(static_cast<int32_t>(i));
                op.value.push_back(v);
            }
        }
        op.col_start[j + 1] = static_cast<int64_t>(op.row_index.size());
    }
    return op;
}

}  // namespace

double Operator::entry(int32_t i, int32_t j) const
{
    if (i == j && !diag.empty()) return diag[i];
    switch (kind) {
    case OperatorKind::dense:
        return dense[i + static_cast<size_t>(n) * j];
    case OperatorKind::sparse: {
        const auto first = row_index.begin() + col_start[j];
        const auto last = row_index.begin() + col_start[j + 1];
        const auto at = std::lower_bound(first, last, i);
        return (at != last && *at == i) ? value[at - row_index.begin()] : 0.0;
    }
    case OperatorKind::gram: {
        const double* di = D + static_cast<size_t>(m) * i;
        const double* dj = D + static_cast<size_t>(m) * j;
        double s = 0;
        for (int32_t k = 0; k < m; ++k) s += di[k] * dj[k];
        return scale * s;
    }
    }
    return 0;
}

Operator dense_operator(int32_t n, const double* A)
{
    Operator op;
    op.kind = OperatorKind::dense;
    op.n = n;
    op.dense = A;
    keep_diagonal(op);
    return op;
}

Operator sparse_operator(int32_t n, const int64_t* col_start, const int64_t* row_index,
                         const double* value)
{
    // The merge below needs every column's rows strictly ascending; other
    // hosts' formats allow any order and repeated entries (which add up).
    if (!rows_ascending(n, col_start, row_index)) {
        const CompressedColumns sorted = sorted_columns(n, col_start, row_index, value);
        return sparse_operator(n, sorted.start.data(), sorted.row.data(), sorted.value.data());
    }
    const CompressedColumns t = transposed(n, col_start, row_index, value);
    Operator op = symmetric_part(n, col_start, row_index, value, t);
    keep_diagonal(op);
    return op;
}

Operator gram_operator(int32_t m, int32_t n, const double* D, double scale)
{
    Operator op;
    op.kind = OperatorKind::gram;
    op.n = n;
    op.m = m;
    op.D = D;
    op.scale = scale;
    keep_diagonal(op);
    return op;
}

void multiply(const Operator& A, int32_t r, const double* Xt, double* AXt)
{
    switch (A.kind) {
    case OperatorKind::dense:
        multiply_dense(A, r, Xt, AXt);
        return;
    case OperatorKind::sparse:
        multiply_sparse(A, r, Xt, AXt);
        return;
    case OperatorKind::gram: {
        std::vector<double> DXt(static_cast<size_t>(r) * A.m);
        multiply_data(A, r, Xt, DXt.data());
        expand_data(A, r, DXt.data(), AXt);
        return;
    }
    }
}

void diagonal(const Operator& A, double* d)
{
    if (!A.diag.empty()) {
        std::copy(A.diag.begin(), A.diag.end(), d);
        return;
    }
    for (int32_t i = 0; i < A.n; ++i) d[i] = A.entry(i, i);
}

double spectral_norm_bound(const Operator& A)
{
    const int32_t n = A.n;
    std::vector<double> v(n), w(n);
    for (int32_t i = 0; i < n; ++i) v[i] = 1.0 + 0.5 * std::sin(1.0 + i);
    double estimate = 0;
    for (int it = 0; it < tl::power_steps; ++it) {
        double norm = 0;
        for (double x : v) norm += x * x;
        norm = std::sqrt(norm);
        if (!(norm > 0)) break;
        for (double& x : v) x /= norm;
        multiply(A, 1, v.data(), w.data());
        double wn = 0;
        for (double x : w) wn += x * x;
        estimate = std::sqrt(wn);
        v.swap(w);
    }
    return tl::norm_bound_factor * estimate + tl::tiny;
}

// ---- Products ----------------------------------------------------------------

Products::Products(const Operator& A, int32_t r) : A_(&A), r_(r)
{
    AXt_.resize(static_cast<size_t>(A.n) * r);
    if (A.kind == OperatorKind::gram) {
        DXt_.resize(static_cast<size_t>(A.m) * r);
        stamp_.assign(A.n, 0);
    }
}

void Products::compute(const double* Xt)
{
    if (A_->kind != OperatorKind::gram) {
        multiply(*A_, r_, Xt, AXt_.data());
        return;
    }
    multiply_data(*A_, r_, Xt, DXt_.data());
    ++version_;
    complete_ = false;
}

const double* Products::row(int32_t i)
{
    double* out = AXt_.data() + static_cast<size_t>(r_) * i;
    if (A_->kind == OperatorKind::gram && !complete_ && stamp_[i] != version_) {
        data_row(*A_, r_, DXt_.data(), i, out);
        stamp_[i] = version_;
    }
    return out;
}

const double* Products::full()
{
    if (A_->kind == OperatorKind::gram && !complete_) {
        expand_data(*A_, r_, DXt_.data(), AXt_.data());
        complete_ = true;
    }
    return AXt_.data();
}

void Products::update(int32_t i, int32_t j, const double* di, const double* dj)
{
    const Operator& A = *A_;
    const int32_t r = r_;
    const size_t R = static_cast<size_t>(r);
    switch (A.kind) {
    case OperatorKind::dense:
        rank_two_update(r, A.dense, A.n, i, j, di, dj, AXt_.data());
        return;
    case OperatorKind::sparse:
        for (int32_t pass = 0; pass < 2; ++pass) {
            const int32_t col = pass == 0 ? i : j;
            const double* d = pass == 0 ? di : dj;
            for (int64_t q = A.col_start[col]; q < A.col_start[col + 1]; ++q) {
                double* out = AXt_.data() + R * A.row_index[q];
                const double a = A.value[q];
                for (int32_t c = 0; c < r; ++c) out[c] += a * d[c];
            }
        }
        return;
    case OperatorKind::gram:
        rank_two_update(r, A.D, A.m, i, j, di, dj, DXt_.data());
        ++version_;
        complete_ = false;
        return;
    }
}

double Products::quadratic(const double* Xt)
{
    if (A_->kind == OperatorKind::gram) {
        double s = 0;
        for (double v : DXt_) s += v * v;
        return A_->scale * s;
    }
    double s = 0;
    const size_t total = AXt_.size();
    for (size_t q = 0; q < total; ++q) s += Xt[q] * AXt_[q];
    return s;
}

void Products::swap(Products& other) noexcept
{
    std::swap(A_, other.A_);
    std::swap(r_, other.r_);
    AXt_.swap(other.AXt_);
    DXt_.swap(other.DXt_);
    stamp_.swap(other.stamp_);
    std::swap(version_, other.version_);
    std::swap(complete_, other.complete_);
}

}  // namespace method
