function test_orthopair_run()
% TEST_ORTHOPAIR_RUN  The native iterations through the host: results, stops,
% callback, reproducibility, agreement with the .m loop, and bad calls.

% A small sparse-PCA instance from the examples' portable generator.
n = 16; r = 3; lambda = 0.3;
B = seeded_uniform(30, n, 11) - 0.5;
B = B - repmat(mean(B, 1), 30, 1);
B = B ./ repmat(sqrt(sum(B .^ 2, 1)), 30, 1);
C = 2 * (B' * B);
C = 0.5 * (C + C');
A = -C;
[X0, ~] = qr(seeded_uniform(n, r, 5) - 0.5, 0);
F = @(X) -0.5 * trace(X' * C * X) + lambda * sum(abs(X(:)));

% ---- a certified run -------------------------------------------------------
[X, info] = orthopair_run(A, [], lambda, X0);
assert(strcmp(info.stop, 'certified'), 'stop was %s', info.stop);
assert(abs(info.f - F(X)) <= 1e-12 * abs(info.f));
assert(abs(info.f0 - F(X0)) <= 1e-12 * abs(info.f0));
assert(norm(X' * X - eye(r), 'fro') <= 1e-13);
assert(info.stationarity <= 1e-6 * info.stationarity_scale);
assert(info.pair_gap <= 1e-10);
h = info.history;
names = fieldnames(h);
for k = 1:numel(names)
    assert(iscolumn(h.(names{k})) && numel(h.(names{k})) == numel(h.f), names{k});
end
assert(all(diff(h.f) <= 1e-12 * abs(h.f(1:end-1))), 'F must not rise');
assert(h.f(end) == info.f && h.iteration(end) == info.iterations);

% Per-column weights: scaling a column's weight is the same as scaling the
% entries of z1, z2 inside the step; a weight vector of equal entries must
% give the scalar's result bit for bit.
[X2, info2] = orthopair_run(A, [], lambda * ones(1, r), X0);
assert(isequal(X2, X) && info2.f == info.f);

% Polishing: starting from the result, nothing is left to gain.
[X3, info3] = orthopair_run(A, [], lambda, X);
assert(strcmp(info3.stop, 'certified') && info3.f <= info.f && info3.f0 == info.f);

% ---- Procrustes with M = I: the polar factor of Y --------------------------
Y = seeded_uniform(n, r, 9) - 0.5;
[U, ~, W] = svd(Y, 0);
[Xp, sp] = orthopair_run(eye(n), -Y, 0, X0, struct('tol_stat', 1e-7));
assert(strcmp(sp.stop, 'certified'));
assert(norm(Xp - U * W', 'fro') <= 1e-6);

% ---- stops -----------------------------------------------------------------
[~, s] = orthopair_run(A, [], lambda, X0, struct('max_iter', 7, 'rule', 'uniform'));
assert(strcmp(s.stop, 'max_iter') && s.iterations == 7);
[~, s] = orthopair_run(A, [], lambda, X0, struct('time_limit', 0, 'rule', 'sweep'));
assert(strcmp(s.stop, 'time_limit'));
[~, s] = orthopair_run(A, [], lambda, X0, struct('target_f', info.f0 - 1e-3));
assert(strcmp(s.stop, 'target') && s.f <= info.f0 - 1e-3);
calls = 0;
    function stop = count_calls(so_far)
        calls = calls + 1;
        assert(isstruct(so_far) && isfield(so_far, 'history'));
        stop = so_far.iterations >= 40;
    end
[~, s] = orthopair_run(A, [], lambda, X0, struct('rule', 'zandrel', 'print_every', 10, ...
    'callback', @count_calls));
assert(strcmp(s.stop, 'callback') && s.iterations == 40 && calls >= 4);
% An error inside the callback ends the run with its X and a warning.
warned = warning('off', 'orthopair_run:callback_error');
[X, s] = orthopair_run(A, [], lambda, X0, ...
    struct('print_every', 10, 'callback', @(varargin) error('mine:oops', 'failing on purpose')));
warning(warned);
assert(strcmp(s.stop, 'callback_error') && norm(X' * X - eye(size(X, 2)), 'fro') < 1e-12);

% No iterations allowed: nothing moves.
[X, s] = orthopair_run(A, [], lambda, X0, struct('max_iter', 0));
assert(isequal(X, X0) && s.iterations == 0 && strcmp(s.stop, 'max_iter'));

% ---- reproducible draws ----------------------------------------------------
% A run draws from its own generator, seeded by the option seed: the same
% seed gives the same bits whatever state the C runtime's rand() is in, and
% another seed other draws.
for rule = {'uniform', 'zandrel', 'tolmiv'}
    o = struct('rule', rule{1}, 'max_iter', 500, 'certify', false, 'seed', 42);
    orthopair_seed(7);
    [Xa, sa] = orthopair_run(A, [], lambda, X0, o);
    orthopair_seed(8);
    zandrel(X0', X0', n, r, 3);
    [Xb, sb] = orthopair_run(A, [], lambda, X0, o);
    assert(isequal(Xa, Xb) && isequal(sa.history.f, sb.history.f), rule{1});
end
o = struct('rule', 'uniform', 'max_iter', 300, 'certify', false);
[~, s1] = orthopair_run(A, [], lambda, X0, setfield(o, 'seed', 1));
[~, s2] = orthopair_run(A, [], lambda, X0, setfield(o, 'seed', 2));
[~, s0] = orthopair_run(A, [], lambda, X0, o);
assert(~isequal(s1.history.f, s2.history.f), 'seeds 1 and 2 drew the same pairs');
assert(isequal(s0.history.f, s1.history.f), 'the default seed is not 1');
[~, s3] = orthopair_run(A, [], lambda, X0, setfield(o, 'seed', 2^32 - 1));
assert(~isequal(s3.history.f, s1.history.f));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, struct('seed', -1)));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, struct('seed', 2^32)));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, struct('seed', 0.5)));

% ... and leaves the C runtime's rand() where it stood, so that tolmiv and
% zandrel draw next what they would have drawn without the run.
P = seeded_uniform(4, 40, 6) - 0.5;  Q = seeded_uniform(4, 40, 7) - 0.5;
orthopair_seed(5);
want = [tolmiv(P, Q, 40, 4, 10), zandrel(P, Q, 40, 4, 10)];
for rule = {'uniform', 'zandrel', 'tolmiv', 'mixed'}
    orthopair_seed(5);
    orthopair_run(A, [], lambda, X0, struct('rule', rule{1}, 'max_iter', 200, 'seed', 5));
    got = [tolmiv(P, Q, 40, 4, 10), zandrel(P, Q, 40, 4, 10)];
    assert(isequal(got, want), 'a %s run moved rand()', rule{1});
end

% ---- the same steps as the .m loop ----------------------------------------
% The .m loop calls zandrel, which draws from rand() after orthopair_seed(3);
% the run's own generator with seed 3 draws the same values.
for steps = [25 100 300]
    orthopair_seed(3);
    [~, hist] = sparse_pca_two_index(C, r, struct('lambda', lambda, 'X0', X0, 'max_iter', steps, ...
        'tol', 0, 'ftol', 0, 'rule', 'zandrel'));
    orthopair_seed(11);
    [~, s] = orthopair_run(A, [], lambda, X0, struct('rule', 'zandrel', 'max_iter', steps, ...
        'certify', false, 'seed', 3));
    assert(abs(s.f - hist.objective(end)) <= 1e-9 * abs(s.f), ...
        'after %d steps: native %.15g, .m loop %.15g', steps, s.f, hist.objective(end));
end

% ---- bad calls -------------------------------------------------------------
expect_error('orthopair_run:nargin', @() orthopair_run(A, [], lambda));
expect_error('orthopair_run:notRealDouble', @() orthopair_run(single(A), [], lambda, X0));
expect_error('orthopair_run:notRealDouble', @() orthopair_run(A + 1i, [], lambda, X0));
expect_error('orthopair_run:sizes', @() orthopair_run(A(:, 1:end-1), [], lambda, X0));
expect_error('orthopair_run:sizes', @() orthopair_run(A, [], lambda, X0(1:end-1, :)));
expect_error('orthopair_run:sizes', @() orthopair_run(A, ones(n, r + 1), lambda, X0));
expect_error('orthopair_run:sizes', @() orthopair_run(A, [], [1 2], X0));
Abad = A; Abad(2, 1) = NaN;
expect_error('orthopair_run:notFinite', @() orthopair_run(Abad, [], lambda, X0));
Abad = A; Abad(2, 1) = Abad(2, 1) + 1e-6;
expect_error('orthopair_run:notSymmetric', @() orthopair_run(Abad, [], lambda, X0));
expect_error('orthopair_run:notFeasible', @() orthopair_run(A, [], lambda, 2 * X0));
expect_error('orthopair_run:notFinite', @() orthopair_run(A, [], Inf, X0));
expect_error('orthopair_run:negativeLambda', @() orthopair_run(A, [], -1, X0));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, struct('nope', 1)));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, struct('rule', 'best')));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, struct('tol', -1)));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, struct('max_iter', 1.5)));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, struct('callback', 3)));
expect_error('orthopair_run:badOption', @() orthopair_run(A, [], lambda, X0, 7));
expect_error('orthopair_seed:badSeed', @() orthopair_seed(-1));
expect_error('orthopair_seed:badSeed', @() orthopair_seed(2^32));
expect_error('orthopair_seed:badSeed', @() orthopair_seed(1.5));
expect_error('orthopair_seed:nargin', @() orthopair_seed());
orthopair_seed(2^32 - 1);

% ---- help texts beside the MEX-files ---------------------------------------
if exist('OCTAVE_VERSION', 'builtin')
    assert(~isempty(strfind(get_help_text('orthopair_run'), 'certified')));
    assert(~isempty(strfind(get_help_text('orthopair_seed'), 'srand')));
end

disp('PASSED');
end
