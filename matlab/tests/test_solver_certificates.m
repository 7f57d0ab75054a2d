function test_solver_certificates()
% The two stationarity conditions measure different things, and the native
% loop's measurements agree with the plain ones of ORTHOPAIR_CERTIFY.

u = seeded_uniform(80, 12, 21) - 0.5;
C = u' * u;
n = 12;
r = 3;
[V, D] = eig(C);
[~, order] = sort(diag(D), 'descend');
V = V(:, order);

% A saddle of PCA: eigenvectors, but not the leading ones. First-order
% stationary (measure (b) ~ 0), yet a row swap with a leading direction
% lowers F: only the global pair test (a) sees it.
X_saddle = V(:, [1 2 5]);
cert = orthopair_certify(-C, [], 0, X_saddle);
scale = norm(C, 'fro');
assert(cert.stationarity <= 1e-12 * scale, 'saddle: (b) = %g should vanish', cert.stationarity);
assert(cert.pair_gap > 1e-6, 'saddle: (a) = %g should see the better direction', cert.pair_gap);

% The plain measure of (b) agrees with the projected gradient at lambda = 0.
X = orth(seeded_uniform(n, r, 22) - 0.5);
G = -C * X;
PG = G - X * (0.5 * (X' * G + G' * X));
cert = orthopair_certify(-C, [], 0, X);
assert(abs(cert.stationarity - norm(PG, 'fro')) <= 1e-12 * scale, ...
    '(b) at lambda = 0: %g against %g', cert.stationarity, norm(PG, 'fro'));

% With lambda > 0, at a point with exact zeros, (b) is the least-norm
% element: no sign convention at the zeros gives a smaller norm.
lambda = 0.3;
[Xs, info] = sparse_pca(C, r, lambda, struct('seed', 5, 'refit', false));
cert = orthopair_certify(-C, [], lambda, Xs);
assert(strcmp(info.stop, 'certified'), 'sparse run stopped %s', info.stop);
assert(nnz(Xs) < n * r, 'the sparse run should have exact zeros');
assert(cert.pair_gap <= 1e-9, 'certified point: a pair still gains %g', cert.pair_gap);
assert(abs(cert.stationarity - info.stationarity) <= 1e-9 * max(1, scale), ...
    '(b): native %g, plain %g', info.stationarity, cert.stationarity);
Gs = -C * Xs + lambda * sign(Xs);
for trial = 1:20
    xi = Gs;
    zero = (Xs == 0);
    xi(zero) = xi(zero) + lambda * (2 * seeded_uniform(nnz(zero), 1, 30 + trial) - 1);
    P = xi - Xs * (0.5 * (Xs' * xi + xi' * Xs));
    assert(norm(P, 'fro') >= cert.stationarity - 1e-12, 'a subgradient beats the least-norm one');
end

% Native measurement of (a) against the exhaustive plain scan, at a point
% that is not stationary: polishing from there must report the same gap
% before it moves.
X0 = orth(seeded_uniform(n, r, 23) - 0.5);
plain = orthopair_certify(-C, [], lambda, X0);
[~, report] = orthopair_polish(-C, [], lambda, X0);
assert(abs(report.before.pair_gap - plain.pair_gap) <= 1e-12, 'pair gap differs');
assert(report.gain >= 0 && report.certified, 'polish did not certify');
end
