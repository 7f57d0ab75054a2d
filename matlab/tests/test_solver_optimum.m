function test_solver_optimum()
% Known optima reached and certified: plain PCA (lambda = 0) against EIG, and
% the orthogonal Procrustes problem with M = I, lambda = 0, whose minimiser
% is the orthogonal polar factor of Y.

% PCA: the minimum of -1/2*trace(X'*C*X) is -1/2 * (sum of the r largest
% eigenvalues of C).
u = seeded_uniform(120, 30, 7) - 0.5;
C = u' * u;
r = 4;
[X, info] = sparse_pca(C, r, 0, struct('seed', 3));
ev = sort(eig(C), 'descend');
f_opt = -0.5 * sum(ev(1:r));
assert(abs(info.f - f_opt) <= 1e-10 * abs(f_opt), 'PCA: F %.17g, optimum %.17g', info.f, f_opt);
assert(strcmp(info.stop, 'certified'), 'PCA run stopped %s', info.stop);
assert(norm(X' * X - eye(r), 'fro') <= 1e-12, 'PCA: X''X - I too large');
f_check = -0.5 * trace(X' * C * X);
assert(abs(f_check - info.f) <= 1e-12 * abs(f_opt), 'reported F differs from F(X)');

% Procrustes, M = I, lambda = 0: min 1/2*||X - Y||^2 at the polar factor.
Y = seeded_uniform(25, 5, 8) - 0.5;
[U, ~, W] = svd(Y, 0);
X_opt = U * W';
f_opt = 0.5 * norm(X_opt - Y, 'fro') ^ 2;
start = orth(seeded_uniform(25, 5, 9) - 0.5);
[X, info] = l1_procrustes(eye(25), Y, 0, struct('X0', start));
assert(abs(info.f - f_opt) <= 1e-10 * max(1, f_opt), 'Procrustes: F %.17g, optimum %.17g', info.f, f_opt);
assert(norm(X - X_opt, 'fro') <= 1e-6, 'Procrustes: X is not the polar factor');
assert(strcmp(info.stop, 'certified'), 'Procrustes run stopped %s', info.stop);

% With lambda > 0 the run only goes down and stays feasible.
[X, info] = l1_procrustes(eye(25), Y, 0.05, struct('X0', start));
assert(info.f <= info.f0, 'Procrustes with L1: F went up');
assert(norm(X' * X - eye(5), 'fro') <= 1e-12, 'Procrustes with L1: X''X - I too large');
end
