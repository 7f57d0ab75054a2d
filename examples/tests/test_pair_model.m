% TEST_PAIR_MODEL  The quadratic model of a two-row step is exact, and the
% 2x2 subproblem built from it is solved over all of O(2).
%
% f(X) = -1/2 tr(X'CX) is quadratic, so the model of PAIR_ROTATION_MODEL must
% reproduce f(X_new) - f(X) to rounding for every 2x2 matrix V, orthogonal
% or not, and for pairs in any order. BREVAK, called exactly as the solver
% calls it, must then return an orthogonal V whose true change of F is no
% worse than V = I and no worse than any point of a dense sample of O(2):
% a wrong layout of Q or G (transposed, other vec order) fails here.

n = 12;
r = 4;
M = seeded_uniform(n, n, 7) - 0.5;
C = M + M';                                  % symmetric, indefinite on purpose
[X, ignored] = qr(seeded_uniform(n, r, 8) - 0.5, 0);
CX = C * X;
f = @(Y) -0.5 * sum(sum(Y .* (C * Y)));
scale = norm(C, 1);

angles = 2 * pi * seeded_uniform(1, 5, 9);
test_V = {eye(2), [0 1; 1 0], seeded_uniform(2, 2, 10) - 0.5};
for k = 1:numel(angles)
    c = cos(angles(k));
    s = sin(angles(k));
    test_V{end + 1} = [c s; -s c];           % rotation
    test_V{end + 1} = [-c s; s c];           % reflection
end

pairs = [1 2; 3 7; 12 5; 6 11];
worst = 0;
for p = 1:size(pairs, 1)
    P = pairs(p, :);
    Zt = X(P, :)';
    [Q, G, offset] = pair_rotation_model(C(P, P), Zt, CX(P, :)');
    assert(isequal(Q, Q'), 'Q must be exactly symmetric');
    v = eye(2);
    assert(abs(0.5 * v(:)' * Q * v(:) + G(:)' * v(:) + offset) <= 1e-14 * scale, ...
        'the model must vanish at V = I');
    for k = 1:numel(test_V)
        V = test_V{k};
        Y = X;
        Y(P, :) = V * X(P, :);
        actual = f(Y) - f(X);
        model = 0.5 * V(:)' * Q * V(:) + G(:)' * V(:) + offset;
        worst = max(worst, abs(actual - model) / scale);
    end
end
fprintf('largest model error relative to norm(C,1): %.2e\n', worst);
assert(worst <= 1e-13, 'quadratic model of the two-row step is not exact');

% ---- the subproblem, as the solver poses it -----------------------------
% Dense sample of both families, as columns vec(V) (the model is exact, as
% checked above, so it stands in for the true change on the sample).
theta = linspace(0, 2 * pi, 8193);
theta(end) = [];
c = cos(theta);
s = sin(theta);
sample = [[c; -s; s; c], [-c; s; s; c]];
for lambda = [0 0.3 2]
    for p = 1:size(pairs, 1)
        P = pairs(p, :);
        Zt = X(P, :)';
        [Q, G, offset] = pair_rotation_model(C(P, P), Zt, CX(P, :)');
        V = brevak(Q, G, lambda, Zt(:, 1), Zt(:, 2), r);
        assert(isequal(size(V), [2 2]) && all(isfinite(V(:))), 'brevak must return a finite 2x2 V');
        assert(norm(V' * V - eye(2)) <= 1e-12, 'brevak must return an orthogonal V');

        Y = apply_rows(X, P, V);
        change = f(Y) - f(X) + lambda * (sum(abs(Y(:))) - sum(abs(X(:))));
        assert(change <= 1e-13 * scale, 'the step must be no worse than V = I');

        l1 = sum(abs(Zt(:, 1) * sample(1, :) + Zt(:, 2) * sample(3, :)), 1) ...
            + sum(abs(Zt(:, 1) * sample(2, :) + Zt(:, 2) * sample(4, :)), 1);
        sampled = 0.5 * sum(sample .* (Q * sample), 1) + G(:)' * sample + offset ...
            + lambda * (l1 - sum(abs(Zt(:))));
        assert(change <= min(sampled) + 1e-12 * scale, ...
            sprintf('lambda %g, rows %d,%d: brevak %.15g, dense sample %.15g', ...
            lambda, P(1), P(2), change, min(sampled)));
    end
end
fprintf('test_pair_model: passed\n');
