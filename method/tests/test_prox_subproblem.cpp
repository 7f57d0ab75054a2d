// The matrix-free Newton–CG solves of the symmetric multiplier (prox
// direction, restoration of XᵀX = I on a pattern, stationarity measure)
// against plain dense references: the generalized Hessian assembled entry by
// entry and factored by Cholesky, on many generated problems at r = 1..12;
// the measure against a generic minimisation over symmetric Λ; and whole
// runs at r = 25 and 50, which must now take prox steps and certify.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "manifold.h"
#include "multiplier.h"
#include "prox_subproblem.h"
#include "stationarity.h"
#include "test_support.h"

namespace {

using Mat = std::vector<double>;

size_t at(int32_t r, int32_t b, int32_t i) { return static_cast<size_t>(b) + static_cast<size_t>(r) * i; }

// A feasible X with exact zeros and nonzeros: the first r columns of the
// identity, mixed by random Givens rotations of row pairs (each keeps
// XᵀX = I), transposed.
Mat givens_point(int32_t n, int32_t r, int rotations, std::mt19937_64& rng)
{
    Mat Xt(static_cast<size_t>(n) * r, 0.0);
    for (int32_t c = 0; c < r; ++c) Xt[at(r, c, c)] = 1;
    std::uniform_int_distribution<int32_t> row(0, n - 1);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI);
    for (int k = 0; k < rotations; ++k) {
        const int32_t i = row(rng), j = row(rng);
        if (i == j) continue;
        const double theta = angle(rng), c = std::cos(theta), s = std::sin(theta);
        for (int32_t b = 0; b < r; ++b) {
            const double xi = Xt[at(r, b, i)], xj = Xt[at(r, b, j)];
            Xt[at(r, b, i)] = c * xi - s * xj;
            Xt[at(r, b, j)] = s * xi + c * xj;
        }
    }
    return Xt;
}

// Σ_u k_u·(basis u) as a full r×r matrix.
Mat basis_matrix(const method::SymIndex& ix, const double* k)
{
    const int32_t r = ix.r;
    Mat K(static_cast<size_t>(r) * r, 0.0);
    for (int32_t u = 0; u < ix.size(); ++u) {
        K[ix.c[u] + r * ix.d[u]] += k[u];
        if (ix.c[u] != ix.d[u]) K[ix.d[u] + r * ix.c[u]] += k[u];
    }
    return K;
}

// The generalized Hessian entry by entry: H[u][v] = Σ_ib W_ib·(X·basis u)_ib·(X·basis v)_ib.
Mat dense_hessian(int32_t n, int32_t r, const Mat& Xt, const std::vector<unsigned char>& W)
{
    const method::SymIndex ix(r);
    const int32_t m = ix.size();
    std::vector<Mat> P(m, Mat(static_cast<size_t>(n) * r, 0.0));
    for (int32_t u = 0; u < m; ++u) {
        Mat e(m, 0.0);
        e[u] = 1;
        const Mat B = basis_matrix(ix, e.data());
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t b = 0; b < r; ++b) {
                for (int32_t c = 0; c < r; ++c) P[u][at(r, b, i)] += Xt[at(r, c, i)] * B[c + r * b];
            }
        }
    }
    Mat H(static_cast<size_t>(m) * m, 0.0);
    for (int32_t u = 0; u < m; ++u) {
        for (int32_t v = 0; v < m; ++v) {
            double s = 0;
            for (size_t q = 0; q < P[u].size(); ++q) s += W[q] ? P[u][q] * P[v][q] : 0.0;
            H[u + static_cast<size_t>(m) * v] = s;
        }
    }
    return H;
}

// (scale·H + shift·I)·x = rhs by a plain Cholesky factorisation.
Mat cholesky_solve(const Mat& H, int32_t m, double scale, double shift, const Mat& rhs)
{
    Mat L(static_cast<size_t>(m) * m, 0.0), x(rhs);
    for (int32_t j = 0; j < m; ++j) {
        for (int32_t i = j; i < m; ++i) {
            double s = scale * H[i + static_cast<size_t>(m) * j] + (i == j ? shift : 0.0);
            for (int32_t k = 0; k < j; ++k) s -= L[i + static_cast<size_t>(m) * k] * L[j + static_cast<size_t>(m) * k];
            L[i + static_cast<size_t>(m) * j] = (i == j) ? std::sqrt(s) : s / L[j + static_cast<size_t>(m) * j];
        }
    }
    for (int32_t i = 0; i < m; ++i) {
        for (int32_t k = 0; k < i; ++k) x[i] -= L[i + static_cast<size_t>(m) * k] * x[k];
        x[i] /= L[i + static_cast<size_t>(m) * i];
    }
    for (int32_t i = m - 1; i >= 0; --i) {
        for (int32_t k = i + 1; k < m; ++k) x[i] -= L[k + static_cast<size_t>(m) * i] * x[k];
        x[i] /= L[i + static_cast<size_t>(m) * i];
    }
    return x;
}

double sign_of(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

// A problem with random symmetric A, E and weights, owning its data.
struct Small {
    int32_t n, r;
    Mat A, Xt, AXt;
    method::Problem p;
};

Small small_problem(int32_t n, int32_t r, std::mt19937_64& rng)
{
    std::normal_distribution<double> normal;
    Small s;
    s.n = n;
    s.r = r;
    s.A.assign(static_cast<size_t>(n) * n, 0.0);
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t i = 0; i <= j; ++i) s.A[i + static_cast<size_t>(n) * j] = s.A[j + static_cast<size_t>(n) * i] = normal(rng);
    }
    s.p.n = n;
    s.p.r = r;
    s.p.A = method::dense_operator(n, s.A.data());
    s.p.Et.resize(static_cast<size_t>(n) * r);
    for (double& e : s.p.Et) e = 0.5 * normal(rng);
    s.p.lambda.resize(r);
    for (int32_t c = 0; c < r; ++c) s.p.lambda[c] = 0.3 + 0.4 * (c % 3);
    s.Xt = givens_point(n, r, 3 * n, rng);
    s.AXt.resize(s.Xt.size());
    method::multiply(s.p, s.Xt.data(), s.AXt.data());
    return s;
}

// ψ(Λ) and R literally, for the stationarity measure.
double literal_psi(const Small& s, const Mat& Lam, Mat* R = nullptr, std::vector<unsigned char>* W = nullptr)
{
    const int32_t n = s.n, r = s.r;
    double sum = 0;
    if (R) R->assign(s.Xt.size(), 0.0);
    if (W) W->assign(s.Xt.size(), 0);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t b = 0; b < r; ++b) {
            double y = s.AXt[at(r, b, i)] + s.p.Et[at(r, b, i)];
            for (int32_t k = 0; k < r; ++k) y -= s.Xt[at(r, k, i)] * Lam[k + r * b];
            const double x = s.Xt[at(r, b, i)], lam = s.p.lambda[b];
            double v = 0;
            bool sloped = true;
            if (x != 0) {
                v = y + lam * sign_of(x);
            } else if (std::fabs(y) > lam) {
                v = y - lam * sign_of(y);
            } else {
                sloped = false;
            }
            if (R) (*R)[at(r, b, i)] = v;
            if (W) (*W)[at(r, b, i)] = sloped;
            sum += v * v;
        }
    }
    return sum;
}

// sym(XᵀR), literally.
Mat sym_cross(const Small& s, const Mat& R)
{
    const int32_t r = s.r;
    Mat S(static_cast<size_t>(r) * r, 0.0);
    for (int32_t a = 0; a < r; ++a) {
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t i = 0; i < s.n; ++i) {
                S[a + r * b] += 0.5 * (s.Xt[at(r, a, i)] * R[at(r, b, i)] + s.Xt[at(r, b, i)] * R[at(r, a, i)]);
            }
        }
    }
    return S;
}

// The measure by semismooth Newton with the dense Hessian and Cholesky.
double dense_measure(const Small& s)
{
    const int32_t r = s.r;
    const method::SymIndex ix(r);
    const int32_t m = ix.size();
    Mat Lam(static_cast<size_t>(r) * r, 0.0), R;
    std::vector<unsigned char> W;
    {
        Mat G(s.AXt);
        for (size_t q = 0; q < G.size(); ++q) G[q] += s.p.Et[q];
        Lam = sym_cross(s, G);
    }
    double value = literal_psi(s, Lam, &R, &W);
    for (int it = 0; it < 200; ++it) {
        const Mat S = sym_cross(s, R);
        Mat g(m);
        method::basis_pairing(ix, S.data(), g.data());
        const Mat H = dense_hessian(s.n, r, s.Xt, W);
        double mean = 0;
        for (int32_t u = 0; u < m; ++u) mean += H[u + static_cast<size_t>(m) * u] / m;
        const Mat d = cholesky_solve(H, m, 1.0, 1e-13 * mean + 1e-300, g);
        double slope = 0;
        for (int32_t u = 0; u < m; ++u) slope -= 2 * g[u] * d[u];
        if (!(slope < 0)) break;
        double step = 1;
        bool taken = false;
        for (int k = 0; k < 60 && !taken; ++k, step *= 0.5) {
            const Mat D = basis_matrix(ix, d.data());
            Mat trial(Lam);
            for (size_t q = 0; q < trial.size(); ++q) trial[q] += step * D[q];
            Mat Rt;
            std::vector<unsigned char> Wt;
            const double next = literal_psi(s, trial, &Rt, &Wt);
            if (next <= value + 1e-4 * step * slope) {
                taken = true;
                Lam = trial;
                R = Rt;
                W = Wt;
                value = next;
            }
        }
        if (!taken) break;
    }
    return std::sqrt(value);
}

}  // namespace

TEST(MultiplierSolve, ProductAndConjugateGradientsMatchTheDenseSystem)
{
    // Masks from dense to nearly empty (empty columns leave H singular; the
    // shift makes the system definite, as in the solvers).
    std::mt19937_64 rng(101);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> unit;
    for (int32_t r = 1; r <= 12; ++r) {
        for (double density : {1.0, 0.6, 0.2}) {
            const int32_t n = r + 3 + static_cast<int32_t>(rng() % 9);
            const Mat Xt = givens_point(n, r, 4 * n, rng);
            std::vector<unsigned char> W(Xt.size());
            for (auto& w : W) w = unit(rng) < density;
            const method::SymIndex ix(r);
            const int32_t m = ix.size();
            const Mat H = dense_hessian(n, r, Xt, W);
            const double scale = 0.5 + unit(rng), shift = 0.05 * (1 + unit(rng));
            method::MultiplierSystem sys(ix, n, Xt.data(), W.data(), scale, shift);
            Mat k(m), out(m), rhs(m), x(m);
            for (double& v : k) v = normal(rng);
            for (double& v : rhs) v = normal(rng);
            sys.apply(k.data(), out.data());
            for (int32_t u = 0; u < m; ++u) {
                double ref = shift * k[u];
                for (int32_t v = 0; v < m; ++v) ref += scale * H[u + static_cast<size_t>(m) * v] * k[v];
                ASSERT_NEAR(out[u], ref, 1e-12 * (1 + std::fabs(ref))) << "r=" << r;
                ASSERT_NEAR(sys.diagonal()[u], scale * H[u + static_cast<size_t>(m) * u] + shift, 1e-13);
            }
            const method::CgReport rep = method::conjugate_gradients(sys, rhs.data(), x.data(), 1e-10);
            EXPECT_TRUE(rep.converged) << "r=" << r << " density " << density << ": " << rep.iterations << " iterations, residual " << rep.residual;
            const Mat ref = cholesky_solve(H, m, scale, shift, rhs);
            double err = 0, size = 0;
            for (int32_t u = 0; u < m; ++u) {
                err = std::max(err, std::fabs(x[u] - ref[u]));
                size = std::max(size, std::fabs(ref[u]));
            }
            EXPECT_LE(err, 1e-9 * size) << "r=" << r << " density " << density;
        }
    }
}

TEST(MultiplierSolve, ProxDirectionMatchesADenseNewtonSolve)
{
    // V is unique (the subproblem is strongly convex on the tangent space),
    // so the direction is compared, solved tightly, with one found by
    // semismooth Newton on the dense system.
    std::mt19937_64 rng(202);
    std::normal_distribution<double> normal;
    for (int32_t r = 1; r <= 12; ++r) {
        for (int rep = 0; rep < 2; ++rep) {
            const int32_t n = r + 4 + static_cast<int32_t>(rng() % 10);
            Small s = small_problem(n, r, rng);
            Mat Gt(s.AXt);
            for (size_t q = 0; q < Gt.size(); ++q) Gt[q] += s.p.Et[q];
            const double t = 0.05 + 0.1 * rep;
            Mat Lam(static_cast<size_t>(r) * r, 0.0), Vt(s.Xt.size());
            method::ProxReport report;
            method::prox_direction(s.p, s.Xt.data(), Gt.data(), t, Lam.data(), Vt.data(), 1e-13, &report);
            EXPECT_TRUE(report.converged) << "r=" << r;

            // Reference: Newton on E(Λ) = XᵀV + VᵀX with the dense Jacobian 4t·H.
            const method::SymIndex ix(r);
            const int32_t m = ix.size();
            Mat L(static_cast<size_t>(r) * r, 0.0), V(s.Xt.size()), E;
            std::vector<unsigned char> W(s.Xt.size());
            auto evaluate = [&](const Mat& Lm, Mat& Vo, std::vector<unsigned char>& Wo, Mat& Eo) {
                for (int32_t i = 0; i < n; ++i) {
                    for (int32_t b = 0; b < r; ++b) {
                        double y = s.Xt[at(r, b, i)] - t * Gt[at(r, b, i)];
                        for (int32_t k = 0; k < r; ++k) y += 2 * t * s.Xt[at(r, k, i)] * Lm[k + r * b];
                        const double thr = t * s.p.lambda[b];
                        Wo[at(r, b, i)] = std::fabs(y) > thr;
                        Vo[at(r, b, i)] = (std::fabs(y) > thr ? y - thr * sign_of(y) : 0.0) - s.Xt[at(r, b, i)];
                    }
                }
                Eo.assign(static_cast<size_t>(r) * r, 0.0);
                double sum = 0;
                for (int32_t a = 0; a < r; ++a) {
                    for (int32_t b = 0; b < r; ++b) {
                        for (int32_t i = 0; i < n; ++i) {
                            Eo[a + r * b] += s.Xt[at(r, a, i)] * Vo[at(r, b, i)] + Vo[at(r, a, i)] * s.Xt[at(r, b, i)];
                        }
                        sum += Eo[a + r * b] * Eo[a + r * b];
                    }
                }
                return sum;
            };
            double merit = evaluate(L, V, W, E);
            for (int it = 0; it < 100 && merit > 1e-28; ++it) {
                Mat g(m);
                method::basis_pairing(ix, E.data(), g.data());
                double gn = 0;
                for (double& v : g) {
                    v = -v;
                    gn += v * v;
                }
                const Mat H = dense_hessian(n, r, s.Xt, W);
                const Mat d = cholesky_solve(H, m, 4 * t, 4 * t * std::sqrt(gn) + 1e-300, g);
                double step = 1;
                bool taken = false;
                for (int k = 0; k < 50 && !taken; ++k, step *= 0.5) {
                    const Mat D = basis_matrix(ix, d.data());
                    Mat trial(L), Vn(V.size()), En;
                    std::vector<unsigned char> Wn(W.size());
                    for (size_t q = 0; q < trial.size(); ++q) trial[q] += step * D[q];
                    const double next = evaluate(trial, Vn, Wn, En);
                    if (next <= (1 - 1e-4 * step) * merit) {
                        taken = true;
                        L = trial;
                        V = Vn;
                        W = Wn;
                        E = En;
                        merit = next;
                    }
                }
                if (!taken) break;
            }
            ASSERT_LE(std::sqrt(merit), 1e-12) << "reference did not converge, r=" << r;
            double err = 0, size = 0;
            for (size_t q = 0; q < V.size(); ++q) {
                err = std::max(err, std::fabs(Vt[q] - V[q]));
                size = std::max(size, std::fabs(V[q]));
            }
            EXPECT_LE(err, 1e-9 * (1 + size)) << "r=" << r;
        }
    }
}

TEST(MultiplierSolve, RestorationOnAPatternKeepsZerosAndMatchesDenseNewton)
{
    std::mt19937_64 rng(303);
    std::normal_distribution<double> normal;
    for (int32_t r = 1; r <= 12; ++r) {
        const int32_t n = 2 * r + 3;
        Mat Xt = givens_point(n, r, 6 * n, rng);
        std::vector<unsigned char> free(Xt.size());
        for (size_t q = 0; q < Xt.size(); ++q) {
            free[q] = Xt[q] != 0;
            if (free[q]) Xt[q] += 1e-4 * normal(rng);
        }
        // Reference: Newton on XᵀX = I with Δ = W∘(X·K), dense solves.
        const method::SymIndex ix(r);
        const int32_t m = ix.size();
        Mat ref(Xt);
        for (int it = 0; it < 8; ++it) {
            Mat D(static_cast<size_t>(r) * r, 0.0);
            for (int32_t a = 0; a < r; ++a) {
                for (int32_t b = 0; b < r; ++b) {
                    for (int32_t i = 0; i < n; ++i) D[a + r * b] += ref[at(r, a, i)] * ref[at(r, b, i)];
                }
                D[a + r * a] -= 1;
            }
            Mat g(m);
            method::basis_pairing(ix, D.data(), g.data());
            for (double& v : g) v *= -0.5;
            const Mat H = dense_hessian(n, r, ref, free);
            const Mat K = basis_matrix(ix, cholesky_solve(H, m, 1.0, 1e-14, g).data());
            Mat next(ref);
            for (int32_t i = 0; i < n; ++i) {
                for (int32_t b = 0; b < r; ++b) {
                    if (!free[at(r, b, i)]) continue;
                    for (int32_t c = 0; c < r; ++c) next[at(r, b, i)] += ref[at(r, c, i)] * K[c + r * b];
                }
            }
            ref = next;
        }
        Mat X = Xt;
        ASSERT_TRUE(method::orthonormalize_on_pattern(n, r, X.data(), free.data())) << "r=" << r;
        method::Problem p;
        p.n = n;
        p.r = r;
        EXPECT_LE(method::feasibility(p, X.data()), 1e-15 * (1 + r));
        for (size_t q = 0; q < X.size(); ++q) {
            if (!free[q]) {
                EXPECT_EQ(X[q], 0.0);
            }
            EXPECT_NEAR(X[q], ref[q], 1e-12) << "r=" << r;
        }
    }
}

TEST(StationarityMeasure, MatchesDenseNewtonForManyProblems)
{
    std::mt19937_64 rng(404);
    for (int32_t r = 1; r <= 12; ++r) {
        for (int rep = 0; rep < 3; ++rep) {
            const int32_t n = r + 4 + static_cast<int32_t>(rng() % 12);
            const Small s = small_problem(n, r, rng);
            const method::StationarityReport m = method::stationarity_measure(s.p, s.Xt.data(), s.AXt.data());
            EXPECT_TRUE(m.converged) << "r=" << r;
            const double ref = dense_measure(s);
            EXPECT_NEAR(m.value, ref, 1e-10 * (1 + ref)) << "r=" << r << " rep " << rep;
            EXPECT_EQ(m.value, method::stationarity(s.p, s.Xt.data(), s.AXt.data()));
        }
    }
}

TEST(StationarityMeasure, NoGenericMinimisationOverSymmetricMultipliersDoesBetter)
{
    // ψ is convex with a 2-Lipschitz gradient −2·sym(XᵀR) over symmetric Λ
    // (XᵀX = I): accelerated gradient descent with step ½, run long, reaches
    // its minimum independently of any Newton machinery.
    std::mt19937_64 rng(505);
    for (int32_t r : {1, 2, 3, 4}) {
        for (int rep = 0; rep < 3; ++rep) {
            const Small s = small_problem(8 + r, r, rng);
            const method::StationarityReport m = method::stationarity_measure(s.p, s.Xt.data(), s.AXt.data());
            ASSERT_TRUE(m.converged);
            Mat L(static_cast<size_t>(r) * r, 0.0), prev(L), Y(L), R;
            for (int it = 1; it <= 20000; ++it) {
                literal_psi(s, Y, &R);
                const Mat S = sym_cross(s, R);
                Mat next(Y);
                for (size_t q = 0; q < next.size(); ++q) next[q] += S[q];
                const double mom = (it - 1.0) / (it + 2.0);
                for (size_t q = 0; q < Y.size(); ++q) Y[q] = next[q] + mom * (next[q] - L[q]);
                L = next;
            }
            const double generic = std::sqrt(literal_psi(s, L));
            EXPECT_LE(m.value, generic * (1 + 1e-10) + 1e-12) << "r=" << r;
            EXPECT_NEAR(m.value, generic, 1e-7 * (1 + generic)) << "r=" << r;
        }
    }
}

TEST(LargeRank, RunsTakeProxStepsAndCertify)
{
    // Sparse PCA shapes, B 50×n: beyond the sizes where a dense Newton
    // system would be formed. Both certificates are checked afresh.
    for (const auto& shape : {std::pair<int32_t, int32_t>{200, 25}, std::pair<int32_t, int32_t>{250, 50}}) {
        method_test::Instance inst = method_test::random_instance(shape.first, shape.second, 1.0, 7, false, false, 50);
        method::Options o;
        o.time_limit = 200;
        const method::Info info = method::run(inst.problem, o, inst.Xt, nullptr);
        const int32_t r = inst.r;
        EXPECT_EQ(info.stop, "certified") << "r=" << r << ": " << info.prox_steps << " prox steps, "
                                          << info.sweeps << " passes, " << info.moves << " pair moves, "
                                          << info.time << " s";
        EXPECT_GT(info.prox_steps, 0) << "r=" << r;
        EXPECT_LE(info.pair_gap, o.tol) << "r=" << r;
        EXPECT_TRUE(info.stationarity_converged);
        EXPECT_LE(info.feasibility, 1e-13);
        const Mat AXt = method_test::literal_product(inst, inst.Xt);
        double g2 = 0;
        for (double v : AXt) g2 += v * v;
        const method::StationarityReport m = method::stationarity_measure(inst.problem, inst.Xt.data(), AXt.data());
        EXPECT_TRUE(m.converged);
        EXPECT_LE(m.value, o.tol_stat * std::max(1.0, std::sqrt(g2))) << "r=" << r;
        EXPECT_NEAR(info.f, method_test::literal_objective(inst, inst.Xt), 1e-12 * std::fabs(info.f));
        EXPECT_LT(info.f, info.f0);
    }
}
