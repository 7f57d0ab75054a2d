function test_orthopair_run_forms()
% TEST_ORTHOPAIR_RUN_FORMS  orthopair_run with A dense, sparse and as
% struct('D', D, 'scale', s): the same certified point from the same start,
% the progress fields of INFO, and the refusals of bad forms.

% Sparse PCA from data: A = -2*B'*B for centred, unit-norm columns of B.
m = 9; n = 30; r = 3; lambda = 0.3;
B = seeded_uniform(m, n, 21) - 0.5;
B = B - repmat(mean(B, 1), m, 1);
B = B ./ repmat(sqrt(sum(B .^ 2, 1)), m, 1);
A = -2 * (B' * B);
A = 0.5 * (A + A');
[X0, ~] = qr(seeded_uniform(n, r, 22) - 0.5, 0);
F = @(X) 0.5 * trace(X' * A * X) + lambda * sum(abs(X(:)));

% ---- the same certified F in all three forms -------------------------------
forms = {A, sparse(A), struct('D', B, 'scale', -2)};
names = {'dense', 'sparse', 'data'};
f = zeros(1, 3);
for k = 1:3
    [X, info] = orthopair_run(forms{k}, [], lambda, X0);
    assert(strcmp(info.stop, 'certified'), '%s: stop was %s', names{k}, info.stop);
    assert(abs(info.f - F(X)) <= 1e-12 * abs(info.f), '%s: F is not F(X)', names{k});
    assert(norm(X' * X - eye(r), 'fro') <= 1e-13);
    % The progress fields at the end: the run is done and made at least
    % one pass, every pair of which it looked at.
    assert(strcmp(info.phase, 'done') && info.pass_pairs_total == 0);
    assert(info.touched >= 1 && info.touched <= n * (n - 1) / 2, '%s: touched %g', names{k}, info.touched);
    f(k) = info.f;
end
assert(all(abs(f - f(1)) <= 1e-12 * abs(f(1))), 'certified F differ: %.17g %.17g %.17g', f);

% A sparse A with its own pattern (a weighted path graph, with E), against
% the same matrix full; a sparse A symmetric only up to rounding is taken
% by its symmetric part, as a dense one is.
L = sparse(1:n, 1:n, 2 + (1:n) / n, n, n) - sparse(2:n, 1:n-1, 1, n, n) - sparse(1:n-1, 2:n, 1, n, n);
E = seeded_uniform(n, r, 23) - 0.5;
[Xs, s1] = orthopair_run(L, E, 0.05, X0);
[Xd, s2] = orthopair_run(full(L), E, 0.05, X0);
assert(strcmp(s1.stop, 'certified') && strcmp(s2.stop, 'certified'));
assert(abs(s1.f - s2.f) <= 1e-12 * max(1, abs(s2.f)) && norm(Xs - Xd, 'fro') <= 1e-8);
Lr = L; Lr(2, 1) = Lr(2, 1) * (1 + 1e-15);
[~, s3] = orthopair_run(Lr, E, 0.05, X0);
Lf = full(Lr);
[~, s4] = orthopair_run(Lf, E, 0.05, X0);
assert(abs(s3.f - s4.f) <= 1e-12 * max(1, abs(s4.f)));

% The data form with m > n and a positive scale (Procrustes-like).
M = seeded_uniform(40, n, 24) - 0.5;
Y = seeded_uniform(40, r, 25) - 0.5;
[~, p1] = orthopair_run(struct('D', M, 'scale', 1), -M' * Y, 0.01, X0);
[~, p2] = orthopair_run(M' * M, -M' * Y, 0.01, X0);
assert(strcmp(p1.stop, 'certified') && abs(p1.f - p2.f) <= 1e-12 * max(1, abs(p2.f)));

% ---- what the callback sees -------------------------------------------------
% Every point names its phase; inside a pass it says how far the pass is.
seen = {};
    function stop = keep(so_far)
        seen{end + 1} = so_far;
        stop = false;
    end
orthopair_run(struct('D', B, 'scale', -2), [], lambda, X0, struct('callback', @keep));
assert(numel(seen) >= 3);
all_pairs = n * (n - 1) / 2;
for k = 1:numel(seen)
    s = seen{k};
    assert(any(strcmp(s.phase, {'prox', 'pass', 'pairs', 'done'})), 'phase %s', s.phase);
    if strcmp(s.phase, 'pass')
        assert(s.pass_pairs_total == all_pairs && s.pass_pairs_done <= all_pairs);
    else
        assert(s.pass_pairs_total == 0 && s.pass_pairs_done == 0);
    end
    assert(isnan(s.touched) == (s.sweeps == 0));
end
assert(any(cellfun(@(s) strcmp(s.phase, 'pass') && s.pass_pairs_done == all_pairs, seen)), ...
       'no point at the end of a pass');

% ---- refusals of bad forms ---------------------------------------------------
S = struct('D', B, 'scale', -2);
expect_error('orthopair_run:badA', @() orthopair_run(struct('D', B), [], lambda, X0), 'argument 1');
expect_error('orthopair_run:badA', @() orthopair_run(struct('D', B, 'scale', 1, 'extra', 0), [], lambda, X0));
expect_error('orthopair_run:badA', @() orthopair_run([S S], [], lambda, X0));
expect_error('orthopair_run:badA', @() orthopair_run(struct('D', B, 'scale', 0), [], lambda, X0), 'A.scale');
expect_error('orthopair_run:badA', @() orthopair_run(struct('D', B, 'scale', Inf), [], lambda, X0));
expect_error('orthopair_run:badA', @() orthopair_run(struct('D', B, 'scale', [1 2]), [], lambda, X0));
expect_error('orthopair_run:badA', @() orthopair_run(struct('D', B, 'scale', 'a'), [], lambda, X0));
expect_error('orthopair_run:badA', @() orthopair_run(struct('D', B, 'scale', 1i), [], lambda, X0));
expect_error('orthopair_run:notRealDouble', @() orthopair_run(struct('D', B + 1i, 'scale', 1), [], lambda, X0), 'A.D');
expect_error('orthopair_run:notRealDouble', @() orthopair_run(struct('D', sparse(B), 'scale', 1), [], lambda, X0));
expect_error('orthopair_run:notRealDouble', @() orthopair_run(struct('D', single(B), 'scale', 1), [], lambda, X0));
Bbad = B; Bbad(3, 4) = NaN;
expect_error('orthopair_run:notFinite', @() orthopair_run(struct('D', Bbad, 'scale', 1), [], lambda, X0), 'A.D');
expect_error('orthopair_run:sizes', @() orthopair_run(struct('D', B(:, 1), 'scale', 1), [], lambda, X0(1, 1)));
expect_error('orthopair_run:sizes', @() orthopair_run(struct('D', B(:, 1:end-1), 'scale', 1), [], lambda, X0));
expect_error('orthopair_run:sizes', @() orthopair_run(sparse(A(:, 1:end-1)), [], lambda, X0));
expect_error('orthopair_run:notRealDouble', @() orthopair_run(sparse(A) * 1i, [], lambda, X0));
expect_error('orthopair_run:notRealDouble', @() orthopair_run(sparse(A ~= 0), [], lambda, X0));
Abad = sparse(A); Abad(5, 2) = Abad(5, 2) + 1e-6;
expect_error('orthopair_run:notSymmetric', @() orthopair_run(Abad, [], lambda, X0), 'A\(');
Abad = L; Abad(n, 1) = 1;  % no partner stored: compared with zero
expect_error('orthopair_run:notSymmetric', @() orthopair_run(Abad, [], lambda, X0));
Abad = sparse(A); Abad(3, 3) = Inf;
expect_error('orthopair_run:notFinite', @() orthopair_run(Abad, [], lambda, X0));

disp('PASSED');
end
