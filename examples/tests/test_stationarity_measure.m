% TEST_STATIONARITY_MEASURE  The stationarity measure is the size of the
% steepest decrease rates of F along plane rotations of two rows.
%
% For lambda = 0 the O(n r^2) formula must equal ||X*B' - B*X'||_F / sqrt(2)
% formed directly, and vanish at the leading eigenvectors. For lambda > 0,
% with exact zeros in X, each pair's rate max(0, |g| - lambda*kappa) must
% match one-sided difference quotients of F itself, kinks included.

n = 9;
r = 3;
M = seeded_uniform(n, n, 21) - 0.5;
C = M * M' + 0.5 * eye(n);

% ---- lambda = 0: formula against the direct skew matrix, and at optimum -
[X, ignored] = qr(seeded_uniform(n, r, 22) - 0.5, 0);
B = -C * X;
direct = norm(X * B' - B * X', 'fro') / sqrt(2);
measure = pair_stationarity(X', (C * X)', 0);
assert(abs(measure - direct) <= 1e-12 * direct, 'lambda = 0: fast formula differs from the direct one');

[E, D] = eig(C);
[ignored, order] = sort(diag(D), 'descend');
E = E(:, order(1:r));
assert(pair_stationarity(E', (C * E)', 0) <= 1e-12 * norm(C, 1), ...
    'the leading eigenvectors must be stationary');

% ---- lambda > 0: rates against difference quotients of F ------------------
% An orthonormal X with exact zeros, overlapping supports and zero rows.
X = zeros(n, r);
X(1:3, 1) = [0.6; 0; 0.8];
X(1:4, 2) = [0.48; 0; -0.36; 0.8];
X([2 5], 3) = [0.6; 0.8];
assert(norm(X' * X - eye(r)) <= 1e-14, 'test point must be orthonormal');
assert(any(X(:) == 0) && any(X(:) ~= 0), 'test point must mix zeros and nonzeros');

for lambda = [0.05 0.4]
    F = @(Y) -0.5 * sum(sum(Y .* (C * Y))) + lambda * sum(abs(Y(:)));
    h = 1e-7;
    F0 = F(X);
    total = 0;
    for i = 1:n - 1
        for j = i + 1:n
            rate = 0;
            for sigma = [-1 1]
                t = sigma * h;
                V = [cos(t) sin(t); -sin(t) cos(t)];
                rate = max(rate, -(F(apply_rows(X, [i j], V)) - F0) / h);
            end
            total = total + rate ^ 2;
        end
    end
    expected = sqrt(total);
    measure = pair_stationarity(X', (C * X)', lambda);
    fprintf('lambda %.2f: measure %.9f, from difference quotients %.9f\n', lambda, measure, expected);
    assert(abs(measure - expected) <= 1e-5 * max(1, expected), ...
        'lambda > 0: measure disagrees with the one-sided rates of F');

    % A near-zero entry is a kink for all purposes once zero_tol covers it.
    Xtiny = X;
    Xtiny(7, 1) = 1e-12;
    near = pair_stationarity(Xtiny', (C * X)', lambda, 1e-8);
    assert(abs(near - measure) <= 1e-9 * max(1, measure), 'zero_tol must treat 1e-12 as a zero');
end
fprintf('test_stationarity_measure: passed\n');
