#pragma once

// The quadratic part of F, ½·tr(XᵀAX), and products with A. A comes in three
// forms:
//
// - dense: a symmetric n×n array, column-major (not owned);
// - sparse: a symmetric n×n matrix in compressed columns (owned: the
//   constructor copies the caller's arrays and keeps the symmetric part);
// - gram: A = scale·DᵀD with D m×n column-major (not owned), m ≪ n allowed.
//   Nothing n×n is ever formed: a product goes through D·X (m×r), an entry
//   A(i, j) is scale·⟨D(:, i), D(:, j)⟩.
//
// X is held transposed (Xt, r×n), so A·X is held as AXt = (A·X)ᵀ = Xt·A, and
// row i of A·X is column i of AXt, r contiguous doubles.
//
// The dense products go through Eigen's blocked kernels, single-threaded:
// one machine and one library give the same result on every run.

#include <cstdint>
#include <vector>

namespace method {

enum class OperatorKind { dense, sparse, gram };

struct Operator {
    OperatorKind kind = OperatorKind::dense;
    int32_t n = 0;
    // dense
    const double* dense = nullptr;   // n×n, column-major, exactly symmetric
    // sparse: column k holds rows row_index[col_start[k] .. col_start[k+1]),
    // ascending, with values value[...]; both triangles are stored.
    std::vector<int64_t> col_start;
    std::vector<int32_t> row_index;
    std::vector<double> value;
    // gram
    int32_t m = 0;
    const double* D = nullptr;       // m×n, column-major
    double scale = 1;
    // diag(A), kept by the constructors below: the pair model reads A(i, i)
    // and A(j, j) for every pair.
    std::vector<double> diag;

    // A(i, j): O(1) dense and on the diagonal, O(log) sparse, O(m) gram.
    double entry(int32_t i, int32_t j) const;
};

// A dense symmetric A (the caller keeps the array alive and exactly
// symmetric).
Operator dense_operator(int32_t n, const double* A);

// A sparse A from compressed columns (col_start[0] = 0, 0-based row
// indices; within a column in any order, repeated entries adding up); the
// copy holds the symmetric part ½·(A + Aᵀ) with rows ascending, so that
// A(i, j) and A(j, i) are one number. Compressed rows of a symmetric A are
// the same arrays.
Operator sparse_operator(int32_t n, const int64_t* col_start, const int64_t* row_index,
                         const double* value);

// A = scale·DᵀD (the caller keeps D alive).
Operator gram_operator(int32_t m, int32_t n, const double* D, double scale);

// AXt = Xt·A (r×n) from scratch.
void multiply(const Operator& A, int32_t r, const double* Xt, double* AXt);

// diag(A), n values.
void diagonal(const Operator& A, double* d);

// An upper bound of ‖A‖₂ from power iterations through products with A (a
// margin covers the iterations' shortfall).
double spectral_norm_bound(const Operator& A);

// The products that a run keeps up to date as X changes. For dense and
// sparse A that is AXt itself, changed by a rank-2 term after a pair move.
// For the gram form it is DXt = (D·X)ᵀ (r×m), changed in O(m·r) after a pair
// move; the rows of AXt are made on demand (row i = scale·DXt·D(:, i),
// O(m·r)) and kept until X changes again, and full() makes them all in
// O(m·n·r) when a step needs the whole gradient.
class Products {
public:
    Products() = default;
    Products(const Operator& A, int32_t r);

    // Everything from scratch at Xt.
    void compute(const double* Xt);

    // Row i of A·X (r doubles), valid until the next update or compute;
    // rows asked for since the last change stay valid together.
    const double* row(int32_t i);

    // All of AXt (r×n), valid until the next update or compute.
    const double* full();

    // Rows i ≠ j of X changed by di and dj (r doubles each).
    void update(int32_t i, int32_t j, const double* di, const double* dj);

    // tr(XᵀAX) at the Xt of the last compute and updates: O(m·r) for the
    // gram form from DXt, O(n·r) otherwise.
    double quadratic(const double* Xt);

    void swap(Products& other) noexcept;

private:
    const Operator* A_ = nullptr;
    int32_t r_ = 0;
    std::vector<double> AXt_;        // r×n; in the gram form only the stamped rows hold
    std::vector<double> DXt_;        // r×m, gram form only
    std::vector<uint64_t> stamp_;    // gram form: row i of AXt_ holds when stamp_[i] == version_
    uint64_t version_ = 1;
    bool complete_ = false;          // gram form: every row of AXt_ holds
};

}  // namespace method
