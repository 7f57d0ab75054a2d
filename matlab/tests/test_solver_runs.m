function test_solver_runs()
% Runs are reproducible, stop where asked, and refuse bad calls with an
% identifier.
u = seeded_uniform(60, 40, 41) - 0.5;
C = u' * u;
opts = struct('seed', 4);
[X1, i1] = sparse_pca(C, 3, 0.2, opts);
rand_state_mover = tolmiv(randn(3, 40), randn(3, 40), 40, 3, 40); %#ok<NASGU> advances the C generator
[X2, i2] = sparse_pca(C, 3, 0.2, opts);
assert(isequal(X1, X2) && i1.f == i2.f, 'same seed, different result');

% The seed goes to the run, not to the C runtime: a solve is the native run
% with the same seed option, whatever state rand() is in, and leaves rand()
% where it stood for the selectors called after it.
P = u(1:4, :);  Q = u(5:8, :);
X0 = orth(seeded_uniform(40, 3, 12) - 0.5);
o = struct('seed', 9, 'rule', 'zandrel', 'max_iter', 300);
orthopair_seed(6);
want = zandrel(P, Q, 40, 4, 12);
orthopair_seed(6);
[Xs, is] = orthopair_solve(-C, [], 0.2, X0, o);
assert(isequal(zandrel(P, Q, 40, 4, 12), want), 'orthopair_solve moved rand()');
orthopair_seed(6);
sparse_pca(C, 3, 0.2, struct('seed', 9, 'rule', 'tolmiv', 'max_iter', 300));
assert(isequal(zandrel(P, Q, 40, 4, 12), want), 'sparse_pca moved rand()');
orthopair_seed(123);
[Xr, ir] = orthopair_run(-C, [], 0.2, X0, o);
assert(isequal(Xs, Xr) && isequal(is.history.f, ir.history.f), 'solve and run differ');
[Xr, ir] = orthopair_run(-C, [], 0.2, X0, setfield(o, 'seed', 10));
assert(~isequal(is.history.f, ir.history.f), 'seeds 9 and 10 drew the same pairs');

% Stops: iteration cap, target, callback; the history grows with the run.
[~, info] = sparse_pca(C, 3, 0.2, struct('seed', 4, 'max_iter', 50, 'rule', 'zandrel'));
assert(strcmp(info.stop, 'max_iter') && info.iterations == 50, 'max_iter stop');
[~, full] = sparse_pca(C, 3, 0.2, struct('seed', 4));
target = full.f0 + 0.5 * (full.f - full.f0);
[~, info] = sparse_pca(C, 3, 0.2, struct('seed', 4, 'target_f', target));
assert(strcmp(info.stop, 'target') && info.f <= target, 'target stop');
[~, info] = sparse_pca(C, 3, 0.2, struct('seed', 4, 'rule', 'zandrel', ...
    'callback', @(s) true));
assert(strcmp(info.stop, 'callback'), 'callback stop');
assert(isstruct(full.history) && numel(full.history.f) >= 2, 'history');
assert(all(diff(full.history.f) <= 1e-12 * max(1, abs(full.f))), 'F went up');

% Bad calls.
expect_error('orthopair_run:sizes', @() orthopair_run(C(:, 1:3), [], 0, eye(40, 3), struct()));
expect_error('orthopair_run:notFeasible', @() orthopair_run(C, [], 0, ones(40, 3), struct()));
expect_error('orthopair_run:notFinite', @() orthopair_run(C, [], NaN, eye(40, 3), struct()));
expect_error('orthopair_run:badOption', @() orthopair_run(C, [], 0, eye(40, 3), struct('rule', 'best')));
expect_error('orthopair_run:nargin', @() orthopair_run(C, [], 0, eye(40, 3), struct(), 7));
expect_error('orthopair_seed:badSeed', @() orthopair_seed(-1));
expect_error('sparse_pca:badR', @() sparse_pca(C, 0, 0.1));
end
