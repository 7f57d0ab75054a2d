#include "manifold.h"

#include <algorithm>
#include <cmath>
#include <limits>

// One thread: a parallel product would sum in an order that depends on the
// scheduling.
#define EIGEN_DONT_PARALLELIZE
#include <Eigen/Core>

namespace method {
namespace {

constexpr double EPS = std::numeric_limits<double>::epsilon();

// Coordinates of symmetric r×r matrices: element u of the basis is the pair
// (c, d), c ≤ d, standing for E_cd + E_dc when c < d and E_cc when c = d.
struct SymIndex {
    int32_t r;
    std::vector<int32_t> c, d;
    explicit SymIndex(int32_t r_) : r(r_)
    {
        for (int32_t dd = 0; dd < r; ++dd) {
            for (int32_t cc = 0; cc <= dd; ++cc) {
                c.push_back(cc);
                d.push_back(dd);
            }
        }
    }
    int32_t size() const { return static_cast<int32_t>(c.size()); }
};

// g[u] = ⟨S, basis u⟩ for an r×r matrix S.
void pair_with_basis(const SymIndex& ix, const double* S, double* g)
{
    const int32_t r = ix.r;
    for (int32_t u = 0; u < ix.size(); ++u) {
        const int32_t c = ix.c[u], d = ix.d[u];
        g[u] = (c == d) ? S[c + r * c] : S[c + r * d] + S[d + r * c];
    }
}

// L = base + s·Σ delta[u]·(basis u).
void move_multiplier(const SymIndex& ix, const double* base, const double* delta, double s,
                     double* L)
{
    const int32_t r = ix.r;
    for (int32_t u = 0; u < ix.size(); ++u) {
        const int32_t c = ix.c[u], d = ix.d[u];
        const double v = base[c + r * d] + s * delta[u];
        L[c + r * d] = v;
        L[d + r * c] = v;
    }
}

// The generalized Hessian of both small problems, in the coordinates above:
// H[u][v] = ⟨W∘(X·basis v), X·basis u⟩ with W the 0/1 mask (transposed, r×n)
// of the entries where the piecewise-linear map is on its sloped piece. It
// is assembled from the blocks T_b = Σ_i W_ib·x_i·x_iᵀ (x_i = row i of X),
// since column b of X·basis u is the column of X that u places there.
void hessian(const SymIndex& ix, int32_t n, const double* Xt, const unsigned char* W,
             std::vector<double>& T, std::vector<double>& H)
{
    const int32_t r = ix.r;
    const size_t rr = static_cast<size_t>(r) * static_cast<size_t>(r);
    T.assign(rr * static_cast<size_t>(r), 0.0);
    for (int32_t i = 0; i < n; ++i) {
        const double* x = Xt + static_cast<size_t>(r) * i;
        const unsigned char* w = W + static_cast<size_t>(r) * i;
        for (int32_t b = 0; b < r; ++b) {
            if (!w[b]) continue;
            double* Tb = T.data() + rr * b;
            for (int32_t a = 0; a < r; ++a) {
                const double xa = x[a];
                if (xa == 0) continue;
                for (int32_t c = 0; c < r; ++c) {
                    Tb[a + r * c] += xa * x[c];
                }
            }
        }
    }
    // Each basis element as one or two (column b, column of X placed there).
    const int32_t m = ix.size();
    H.assign(static_cast<size_t>(m) * m, 0.0);
    auto terms = [&](int32_t u, int32_t* cols, int32_t* from) {
        const int32_t c = ix.c[u], d = ix.d[u];
        if (c == d) {
            cols[0] = c;
            from[0] = c;
            return 1;
        }
        cols[0] = d;
        from[0] = c;
        cols[1] = c;
        from[1] = d;
        return 2;
    };
    for (int32_t u = 0; u < m; ++u) {
        int32_t cu[2], fu[2];
        const int nu = terms(u, cu, fu);
        for (int32_t v = 0; v <= u; ++v) {
            int32_t cv[2], fv[2];
            const int nv = terms(v, cv, fv);
            double sum = 0;
            for (int a = 0; a < nu; ++a) {
                for (int b = 0; b < nv; ++b) {
                    if (cu[a] == cv[b]) sum += T[rr * cu[a] + fu[a] + r * fv[b]];
                }
            }
            H[u + static_cast<size_t>(m) * v] = sum;
            H[v + static_cast<size_t>(m) * u] = sum;
        }
    }
}

// Solves (scale·H + μ·I)·x = rhs by Cholesky, with μ a small multiple of the
// mean diagonal, raised until the factorisation succeeds: H is only positive
// semidefinite (a column of W without ones leaves a direction flat).
void regularised_solve(int32_t m, const std::vector<double>& H, double scale, const double* rhs,
                       double* x, std::vector<double>& L, double extra = 0)
{
    double trace = 0;
    for (int32_t u = 0; u < m; ++u) trace += scale * H[u + static_cast<size_t>(m) * u];
    double mu = 1e-12 * std::max(trace / m, 1e-300) + 1e-300 + extra;
    // L is stored by rows (L[i·m + k] = L(i, k)), so that the inner
    // products below run over contiguous memory.
    const size_t M = static_cast<size_t>(m);
    L.resize(M * M);
    for (int attempt = 0; attempt < 40; ++attempt, mu *= 100) {
        bool ok = true;
        for (int32_t j = 0; j < m && ok; ++j) {
            const double* lj = L.data() + M * j;
            for (int32_t i = j; i < m; ++i) {
                const double* li = L.data() + M * i;
                double s = scale * H[i + M * j] + (i == j ? mu : 0.0);
                for (int32_t k = 0; k < j; ++k) s -= li[k] * lj[k];
                if (i == j) {
                    if (!(s > 0)) {
                        ok = false;
                        break;
                    }
                    L[M * j + j] = std::sqrt(s);
                } else {
                    L[M * i + j] = s / lj[j];
                }
            }
        }
        if (!ok) continue;
        for (int32_t i = 0; i < m; ++i) {
            const double* li = L.data() + M * i;
            double s = rhs[i];
            for (int32_t k = 0; k < i; ++k) s -= li[k] * x[k];
            x[i] = s / li[i];
        }
        for (int32_t i = m - 1; i >= 0; --i) {
            double s = x[i];
            for (int32_t k = i + 1; k < m; ++k) s -= L[M * k + i] * x[k];
            x[i] = s / L[M * i + i];
        }
        return;
    }
    std::fill(x, x + m, 0.0);
}

// (XᵀY)_ab = Σ_i X_ia·Y_ib for two r×n transposed arrays; out r×r.
void cross(int32_t n, int32_t r, const double* Xt, const double* Yt, double* out)
{
    std::fill(out, out + static_cast<size_t>(r) * r, 0.0);
    for (int32_t i = 0; i < n; ++i) {
        const double* x = Xt + static_cast<size_t>(r) * i;
        const double* y = Yt + static_cast<size_t>(r) * i;
        for (int32_t b = 0; b < r; ++b) {
            const double yb = y[b];
            if (yb == 0) continue;
            for (int32_t a = 0; a < r; ++a) out[a + r * b] += x[a] * yb;
        }
    }
}

double sign_of(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

}  // namespace

void smooth_gradient(const Problem& p, const double* AXt, double* Gt)
{
    const size_t total = static_cast<size_t>(p.n) * p.r;
    if (p.Et.empty()) {
        std::copy(AXt, AXt + total, Gt);
    } else {
        for (size_t k = 0; k < total; ++k) Gt[k] = AXt[k] + p.Et[k];
    }
}

void multiply(const Problem& p, const double* Xt, double* AXt) { multiply(p.A, p.r, Xt, AXt); }

double objective(const Problem& p, const double* Xt, const double* AXt)
{
    const int32_t n = p.n, r = p.r;
    double quad = 0, lin = 0, l1 = 0;
    for (int32_t i = 0; i < n; ++i) {
        const double* x = Xt + static_cast<size_t>(r) * i;
        const double* ax = AXt + static_cast<size_t>(r) * i;
        for (int32_t c = 0; c < r; ++c) {
            quad += x[c] * ax[c];
            l1 += p.lambda[c] * std::fabs(x[c]);
        }
        if (!p.Et.empty()) {
            const double* e = p.Et.data() + static_cast<size_t>(r) * i;
            for (int32_t c = 0; c < r; ++c) lin += e[c] * x[c];
        }
    }
    return (0.5 * quad + lin) + l1;
}

double objective(const Problem& p, const double* Xt, Products& AX)
{
    const int32_t n = p.n, r = p.r;
    double lin = 0, l1 = 0;
    for (int32_t i = 0; i < n; ++i) {
        const double* x = Xt + static_cast<size_t>(r) * i;
        for (int32_t c = 0; c < r; ++c) l1 += p.lambda[c] * std::fabs(x[c]);
        if (!p.Et.empty()) {
            const double* e = p.Et.data() + static_cast<size_t>(r) * i;
            for (int32_t c = 0; c < r; ++c) lin += e[c] * x[c];
        }
    }
    return (0.5 * AX.quadratic(Xt) + lin) + l1;
}

double feasibility(const Problem& p, const double* Xt)
{
    const int32_t r = p.r;
    std::vector<double> S(static_cast<size_t>(r) * r);
    cross(p.n, r, Xt, Xt, S.data());
    double sum = 0;
    for (int32_t b = 0; b < r; ++b) {
        for (int32_t a = 0; a < r; ++a) {
            const double v = S[a + r * b] - (a == b ? 1.0 : 0.0);
            sum += v * v;
        }
    }
    return std::sqrt(sum);
}

void symmetric_eigen(int32_t r, double* S, double* values, double* vectors)
{
    for (int32_t b = 0; b < r; ++b) {
        for (int32_t a = 0; a < r; ++a) vectors[a + r * b] = (a == b) ? 1.0 : 0.0;
    }
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0, diag = 0;
        for (int32_t b = 0; b < r; ++b) {
            diag += S[b + r * b] * S[b + r * b];
            for (int32_t a = 0; a < b; ++a) off += S[a + r * b] * S[a + r * b];
        }
        if (!(off > 1e-34 * diag) || off == 0) break;
        for (int32_t q = 1; q < r; ++q) {
            for (int32_t pp = 0; pp < q; ++pp) {
                const double apq = S[pp + r * q];
                if (apq == 0) continue;
                const double app = S[pp + r * pp], aqq = S[q + r * q];
                // The rotation that zeroes S(p, q): tan θ from the stable root.
                const double theta = (aqq - app) / (2 * apq);
                const double t = (theta >= 0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int32_t k = 0; k < r; ++k) {
                    const double skp = S[k + r * pp], skq = S[k + r * q];
                    S[k + r * pp] = c * skp - s * skq;
                    S[k + r * q] = s * skp + c * skq;
                }
                for (int32_t k = 0; k < r; ++k) {
                    const double spk = S[pp + r * k], sqk = S[q + r * k];
                    S[pp + r * k] = c * spk - s * sqk;
                    S[q + r * k] = s * spk + c * sqk;
                }
                for (int32_t k = 0; k < r; ++k) {
                    const double vkp = vectors[k + r * pp], vkq = vectors[k + r * q];
                    vectors[k + r * pp] = c * vkp - s * vkq;
                    vectors[k + r * q] = s * vkp + c * vkq;
                }
            }
        }
    }
    for (int32_t a = 0; a < r; ++a) values[a] = S[a + r * a];
}

bool polar(int32_t n, int32_t r, double* Xt)
{
    // XᵀX and the product below are the O(n·r²) work; Eigen's blocked
    // kernels (one thread) do them at about 1.5 times the speed of plain
    // loops for r = 50.
    using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic>;
    Eigen::Map<Matrix> X(Xt, r, n);
    const size_t rr = static_cast<size_t>(r) * r;
    std::vector<double> Qv(rr), d(r);
    Matrix S = Matrix::Zero(r, r);
    S.selfadjointView<Eigen::Lower>().rankUpdate(X);
    S.triangularView<Eigen::StrictlyUpper>() = S.transpose();
    symmetric_eigen(r, S.data(), d.data(), Qv.data());
    for (int32_t k = 0; k < r; ++k) {
        if (!(d[k] > 0)) return false;
        d[k] = 1 / std::sqrt(d[k]);
    }
    // M = Q·D^(−1/2)·Qᵀ, symmetric; row i of X·M is (M·x_i)ᵀ, so Xt ← M·Xt,
    // a block of rows of X at a time.
    const Eigen::Map<const Matrix> Q(Qv.data(), r, r);
    const Matrix M = Q * Eigen::Map<const Eigen::VectorXd>(d.data(), r).asDiagonal() * Q.transpose();
    constexpr int32_t block = 512;
    Matrix Y(r, std::min(n, block));
    for (int32_t start = 0; start < n; start += block) {
        const int32_t count = std::min(block, n - start);
        Y.leftCols(count).noalias() = M * X.middleCols(start, count);
        X.middleCols(start, count) = Y.leftCols(count);
    }
    return true;
}

int64_t snap_small(const Problem& p, double* Xt)
{
    int64_t changed = 0;
    for (int32_t i = 0; i < p.n; ++i) {
        double* x = Xt + static_cast<size_t>(p.r) * i;
        for (int32_t c = 0; c < p.r; ++c) {
            if (p.lambda[c] > 0 && x[c] != 0 && std::fabs(x[c]) <= 8 * EPS) {
                x[c] = 0;
                ++changed;
            }
        }
    }
    return changed;
}

double spectral_bound(const Problem& p) { return spectral_norm_bound(p.A); }

bool orthonormalize_on_pattern(int32_t n, int32_t r, double* Xt, const unsigned char* free)
{
    if (r > MAX_NEWTON_RANK) return false;
    const size_t rr = static_cast<size_t>(r) * r;
    const SymIndex ix(r);
    const int32_t m = ix.size();
    std::vector<double> D(rr), g(m), k(m), K(rr), zero(rr, 0.0), T, H, L;
    std::vector<unsigned char> W(free, free + static_cast<size_t>(n) * r);
    hessian(ix, n, Xt, W.data(), T, H);
    for (int it = 0; it < 6; ++it) {
        cross(n, r, Xt, Xt, D.data());
        double defect = 0;
        for (int32_t a = 0; a < r; ++a) {
            D[a + r * a] -= 1;
            for (int32_t b = 0; b < r; ++b) defect += D[a + r * b] * D[a + r * b];
        }
        if (std::sqrt(defect) <= 1e-15) return true;
        if (it == 5 || !(defect < 1e-4)) return false;
        // 2·H·k = −⟨D, basis⟩ makes XᵀΔ + ΔᵀX = −D for Δ = W∘(X·K).
        pair_with_basis(ix, D.data(), g.data());
        for (double& v : g) v = -0.5 * v;
        regularised_solve(m, H, 1.0, g.data(), k.data(), L);
        move_multiplier(ix, zero.data(), k.data(), 1.0, K.data());
        for (int32_t i = 0; i < n; ++i) {
            double* x = Xt + static_cast<size_t>(r) * i;
            const unsigned char* w = free + static_cast<size_t>(r) * i;
            double step[MAX_NEWTON_RANK];
            for (int32_t b = 0; b < r; ++b) {
                double v = 0;
                for (int32_t c = 0; c < r; ++c) v += x[c] * K[c + r * b];
                step[b] = w[b] ? v : 0.0;
            }
            for (int32_t b = 0; b < r; ++b) x[b] += step[b];
        }
    }
    return false;
}

double stationarity(const Problem& p, const double* Xt, const double* AXt)
{
    const int32_t n = p.n, r = p.r;
    const size_t total = static_cast<size_t>(n) * r, rr = static_cast<size_t>(r) * r;
    const SymIndex ix(r);
    const int32_t m = ix.size();
    std::vector<double> Gt(total), Rt(total), XR(rr), Lambda(rr), trial(rr), g(m), delta(m);
    std::vector<double> T, H, L;
    std::vector<unsigned char> W(total), Wtrial(total);
    smooth_gradient(p, AXt, Gt.data());

    // ψ(Λ) = ‖R(∇f − XΛ)‖², with R the entrywise least-norm shift by ∂h:
    // y + λ·sign(x) where x ≠ 0, and the soft threshold of y by λ where x = 0.
    // mask marks the entries on a sloped piece of R.
    auto psi = [&](const double* Lam, unsigned char* mask) {
        double sum = 0;
        for (int32_t i = 0; i < n; ++i) {
            const double* x = Xt + static_cast<size_t>(r) * i;
            const double* gi = Gt.data() + static_cast<size_t>(r) * i;
            double* ri = Rt.data() + static_cast<size_t>(r) * i;
            unsigned char* wi = mask + static_cast<size_t>(r) * i;
            for (int32_t b = 0; b < r; ++b) {
                double lx = 0;
                for (int32_t k = 0; k < r; ++k) lx += Lam[b + r * k] * x[k];
                const double y = gi[b] - lx;
                const double lam = p.lambda[b];
                double v;
                if (x[b] != 0) {
                    v = y + lam * sign_of(x[b]);
                    wi[b] = 1;
                } else if (std::fabs(y) > lam) {
                    v = y - lam * sign_of(y);
                    wi[b] = 1;
                } else {
                    v = 0;
                    wi[b] = 0;
                }
                ri[b] = v;
                sum += v * v;
            }
        }
        return sum;
    };

    // Start from the multiplier of the smooth problem, sym(XᵀG).
    cross(n, r, Xt, Gt.data(), XR.data());
    for (int32_t b = 0; b < r; ++b) {
        for (int32_t a = 0; a < r; ++a) Lambda[a + r * b] = 0.5 * (XR[a + r * b] + XR[b + r * a]);
    }
    double value = psi(Lambda.data(), W.data());
    std::vector<double> Rsave, diag;
    const bool newton = r <= MAX_NEWTON_RANK;
    for (int it = 0; it < (newton ? 60 : 500) && value > 0; ++it) {
        // Descent direction: ∇ψ = −2·⟨XᵀR, basis⟩, generalized Hessian 2·H
        // (only its diagonal when r is large).
        cross(n, r, Xt, Rt.data(), XR.data());
        pair_with_basis(ix, XR.data(), g.data());
        if (newton) {
            hessian(ix, n, Xt, W.data(), T, H);
            regularised_solve(m, H, 1.0, g.data(), delta.data(), L);
        } else {
            // H(u, u) = Σ_i W_id·x_ic² + W_ic·x_id² for u = (c, d), c < d,
            // and Σ_i W_ic·x_ic² for u = (c, c).
            diag.assign(m, 0.0);
            double top = 0;
            for (int32_t u = 0; u < m; ++u) {
                const int32_t c = ix.c[u], d = ix.d[u];
                double h = 0;
                for (int32_t i = 0; i < n; ++i) {
                    const double* x = Xt + static_cast<size_t>(r) * i;
                    const unsigned char* w = W.data() + static_cast<size_t>(r) * i;
                    h += (w[d] ? x[c] * x[c] : 0.0) + (c != d && w[c] ? x[d] * x[d] : 0.0);
                }
                diag[u] = h;
                top = std::max(top, h);
            }
            for (int32_t u = 0; u < m; ++u) delta[u] = g[u] / (diag[u] + 1e-12 * top + 1e-300);
        }
        double slope = 0;  // ∇ψ·δ
        for (int32_t u = 0; u < m; ++u) slope -= 2 * g[u] * delta[u];
        if (!(slope < 0)) break;
        Rsave = Rt;
        double s = 1;
        bool accepted = false;
        double next = value;
        for (int k = 0; k < 50; ++k, s *= 0.5) {
            move_multiplier(ix, Lambda.data(), delta.data(), s, trial.data());
            next = psi(trial.data(), Wtrial.data());
            if (next <= value + 1e-4 * s * slope) {
                accepted = true;
                break;
            }
        }
        if (!accepted) {
            Rt = Rsave;
            break;
        }
        const double gain = value - next;
        Lambda.swap(trial);
        W.swap(Wtrial);
        value = next;
        if (gain <= 1e-15 * value) break;
    }
    return std::sqrt(value);
}

double prox_direction(const Problem& p, const double* Xt, const double* Gt, double t,
                      double* Lambda, double* Vt)
{
    const int32_t n = p.n, r = p.r;
    const size_t total = static_cast<size_t>(n) * r, rr = static_cast<size_t>(r) * r;
    const SymIndex ix(r);
    const int32_t m = ix.size();
    std::vector<double> Bt(total), Vtrial(total), XV(rr), Em(rr), trial(rr), g(m), delta(m);
    std::vector<double> T, H, L;
    std::vector<unsigned char> W(total), Wtrial(total);
    for (size_t k = 0; k < total; ++k) Bt[k] = Xt[k] - t * Gt[k];

    // V(Λ) = soft(X − t·∇f + 2t·XΛ, t·λ) − X, and the tangency defect
    // E(Λ) = XᵀV + VᵀX; mask marks the entries that pass the threshold.
    auto defect = [&](const double* Lam, double* V, unsigned char* mask, double* Eout) {
        for (int32_t i = 0; i < n; ++i) {
            const double* x = Xt + static_cast<size_t>(r) * i;
            const double* bi = Bt.data() + static_cast<size_t>(r) * i;
            double* vi = V + static_cast<size_t>(r) * i;
            unsigned char* wi = mask + static_cast<size_t>(r) * i;
            for (int32_t b = 0; b < r; ++b) {
                double lx = 0;
                for (int32_t k = 0; k < r; ++k) lx += Lam[b + r * k] * x[k];
                const double y = bi[b] + 2 * t * lx;
                const double thr = t * p.lambda[b];
                double u;
                if (std::fabs(y) > thr) {
                    u = y - thr * sign_of(y);
                    wi[b] = 1;
                } else {
                    u = 0;
                    wi[b] = 0;
                }
                vi[b] = u - x[b];
            }
        }
        cross(n, r, Xt, V, XV.data());
        double sum = 0;
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t a = 0; a < r; ++a) {
                const double e = XV[a + r * b] + XV[b + r * a];
                Eout[a + r * b] = e;
                sum += e * e;
            }
        }
        return sum;
    };

    // The defect need only be small against what the retraction corrects
    // anyway, ‖V‖² (XᵀX − I after X + V is XᵀV + VᵀX + VᵀV); near
    // convergence that is tight.
    auto tolerance = [&] {
        double v2 = 0;
        for (size_t k = 0; k < total; ++k) v2 += Vt[k] * Vt[k];
        return std::max(1e-13, 1e-3 * v2);
    };
    double merit = defect(Lambda, Vt, W.data(), Em.data());
    std::vector<double> Etrial(rr);
    for (int it = 0; it < 40; ++it) {
        if (std::sqrt(merit) <= tolerance()) break;
        pair_with_basis(ix, Em.data(), g.data());
        for (int32_t u = 0; u < m; ++u) g[u] = -g[u];
        hessian(ix, n, Xt, W.data(), T, H);
        // Levenberg–Marquardt: a shift that grows with the residual keeps the
        // step bounded where a column of the mask is empty (H singular).
        double gnorm = 0;
        for (double v : g) gnorm += v * v;
        regularised_solve(m, H, 4 * t, g.data(), delta.data(), L, 4 * t * std::sqrt(gnorm));
        double s = 1;
        bool accepted = false;
        double next = merit;
        for (int k = 0; k < 40; ++k, s *= 0.5) {
            move_multiplier(ix, Lambda, delta.data(), s, trial.data());
            next = defect(trial.data(), Vtrial.data(), Wtrial.data(), Etrial.data());
            if (next <= (1 - 1e-4 * s) * merit) {
                accepted = true;
                break;
            }
        }
        if (!accepted) break;
        std::copy(trial.begin(), trial.end(), Lambda);
        std::copy(Vtrial.begin(), Vtrial.end(), Vt);
        W.swap(Wtrial);
        Em.swap(Etrial);
        const double gain = merit - next;
        merit = next;
        if (gain <= 1e-14 * merit) break;
    }
    return std::sqrt(merit);
}

}  // namespace method
