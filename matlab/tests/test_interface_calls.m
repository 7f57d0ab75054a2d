function test_interface_calls()
% Bad and edge calls to every front end of the solver, as a new user would
% make them. A refusal must carry the identifier <function>:<reason> named
% here and a message that names the argument or option; an accepted call
% must return a feasible X (to 1e-12) and an info.f that is F(X) recomputed
% (to 1e-12 relative), with info.stop one of the documented words.
n = 6;
r = 2;
C = cov(seeded_uniform(20, n, 1));
A = -C;
X0 = orth(seeded_uniform(n, r, 2) - 0.5);
E = seeded_uniform(n, r, 3) - 0.5;
D = seeded_uniform(5, n, 4) - 0.5;
lam = 0.1;
suite = struct('count', 0, 'failures', {{}});

% ---- arguments: how many, and of what kind --------------------------------
g = 'arguments';
suite = refuse(suite, g, @() orthopair_solve(), 'orthopair_solve:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_solve(A), 'orthopair_solve:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_solve(A, []), 'orthopair_solve:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_solve(A, [], lam), 'orthopair_solve:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_certify(A, [], lam), 'orthopair_certify:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_certify(A), 'orthopair_certify:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_polish(A, [], lam), 'orthopair_polish:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_polish(), 'orthopair_polish:nargin', 'inputs');
suite = refuse(suite, g, @() l1_procrustes(D, D), 'l1_procrustes:nargin', 'inputs');
suite = refuse(suite, g, @() l1_procrustes(), 'l1_procrustes:nargin', 'inputs');
suite = refuse(suite, g, @() pair_subproblem(A, [], lam, X0, A * X0, 1), 'pair_subproblem:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_run(A, [], lam), 'orthopair_run:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_run(A, [], lam, X0, [], 1), 'orthopair_run:nargin', 'inputs');
suite = refuse(suite, g, @() orthopair_seed(), 'orthopair_seed:nargin', 'input');
suite = refuse(suite, g, @() orthopair_seed(1, 2), 'orthopair_seed:nargin', 'input');
suite = refuse(suite, g, @() orthopair_seed(-1), 'orthopair_seed:badSeed', 'k');
suite = refuse(suite, g, @() orthopair_seed(1.5), 'orthopair_seed:badSeed', 'k');
suite = refuse(suite, g, @() orthopair_seed(2^32), 'orthopair_seed:badSeed', 'k');
suite = refuse(suite, g, @() orthopair_seed([1 2]), 'orthopair_seed:badSeed', 'k');
suite = refuse(suite, g, @() call_with_outputs(@orthopair_run, {A, [], lam, X0}, 3), 'orthopair_run:nargout', 'outputs');

% ---- shapes and kinds of A, E, lambda and X, at each front end --------------
% Each entry: the arguments (A, E, lambda, X), the reason, a word the
% message must hold.
bad = {
    {A(:, 1:5), [], lam, X0}, 'sizes', 'argument 1 (A)'
    {5, [], lam, X0}, 'sizes', 'argument 1 (A)'
    {ones(n, n, 2), [], lam, X0}, 'notRealDouble', 'argument 1 (A)'
    {single(A), [], lam, X0}, 'notRealDouble', 'argument 1 (A)'
    {int32(A), [], lam, X0}, 'notRealDouble', 'argument 1 (A)'
    {A + 1i, [], lam, X0}, 'notRealDouble', 'argument 1 (A)'
    {A > 0, [], lam, X0}, 'notRealDouble', 'argument 1 (A)'
    {'abcdef', [], lam, X0}, 'notRealDouble', 'argument 1 (A)'
    {{A}, [], lam, X0}, 'notRealDouble', 'argument 1 (A)'
    {with(A, 1, NaN), [], lam, X0}, 'notFinite', 'argument 1 (A)'
    {with(A, 1, Inf), [], lam, X0}, 'notFinite', 'argument 1 (A)'
    {with(A, 2, 1), [], lam, X0}, 'notSymmetric', 'argument 1 (A)'
    {triu(A), [], lam, X0}, 'notSymmetric', 'argument 1 (A)'
    {struct('D', D), [], lam, X0}, 'badA', 'argument 1 (A)'
    {struct('D', D, 'scale', 1, 'x', 1), [], lam, X0}, 'badA', 'argument 1 (A)'
    {struct('D', D, 'scale', 0), [], lam, X0}, 'badA', 'argument 1 (A)'
    {struct('D', D, 'scale', NaN), [], lam, X0}, 'badA', 'argument 1 (A)'
    {struct('D', D, 'scale', [1 2]), [], lam, X0}, 'badA', 'argument 1 (A)'
    {struct('D', D, 'scale', 'a'), [], lam, X0}, 'badA', 'argument 1 (A)'
    {struct('D', with(D, 1, NaN), 'scale', 1), [], lam, X0}, 'notFinite', 'argument 1 (A)'
    {struct('D', D + 1i, 'scale', 1), [], lam, X0}, 'badA', 'argument 1 (A)'
    {struct('D', single(D), 'scale', 1), [], lam, X0}, 'badA', 'argument 1 (A)'
    {struct('D', D(:, 1:5), 'scale', 1), [], lam, X0}, 'sizes', 'argument 4 (X'
    {struct('D', zeros(0, n), 'scale', 1), [], lam, X0}, 'sizes', 'argument 1 (A)'
    {[struct('D', D, 'scale', 1), struct('D', D, 'scale', 1)], [], lam, X0}, 'badA', 'argument 1 (A)'
    {A, E(:, 1), lam, X0}, 'sizes', 'argument 2 (E)'
    {A, E', lam, X0}, 'sizes', 'argument 2 (E)'
    {A, [E E], lam, X0}, 'sizes', 'argument 2 (E)'
    {A, E(1:5, :), lam, X0}, 'sizes', 'argument 2 (E)'
    {A, 1, lam, X0}, 'sizes', 'argument 2 (E)'
    {A, zeros(0, 2), lam, X0}, 'sizes', 'argument 2 (E)'
    {A, with(E, 1, NaN), lam, X0}, 'notFinite', 'argument 2 (E)'
    {A, E + 1i, lam, X0}, 'notRealDouble', 'argument 2 (E)'
    {A, single(E), lam, X0}, 'notRealDouble', 'argument 2 (E)'
    {A, sparse(E), lam, X0}, 'notRealDouble', 'argument 2 (E)'
    {A, 'E', lam, X0}, 'notRealDouble', 'argument 2 (E)'
    {A, [], -0.1, X0}, 'negativeLambda', 'argument 3 (lambda)'
    {A, [], [0.1 -0.1], X0}, 'negativeLambda', 'argument 3 (lambda)'
    {A, [], NaN, X0}, 'notFinite', 'argument 3 (lambda)'
    {A, [], Inf, X0}, 'notFinite', 'argument 3 (lambda)'
    {A, [], [0.1 0.2 0.3], X0}, 'sizes', 'argument 3 (lambda)'
    {A, [], [], X0}, 'sizes', 'argument 3 (lambda)'
    {A, [], 0.1 * ones(2), X0}, 'sizes', 'argument 3 (lambda)'
    {A, [], 0.1 + 1i, X0}, 'notRealDouble', 'argument 3 (lambda)'
    {A, [], single(0.1), X0}, 'notRealDouble', 'argument 3 (lambda)'
    {A, [], true, X0}, 'notRealDouble', 'argument 3 (lambda)'
    {A, [], '1', X0}, 'notRealDouble', 'argument 3 (lambda)'
    {A, [], lam, ones(n, r)}, 'notFeasible', 'argument 4 (X'
    {A, [], lam, 2 * X0}, 'notFeasible', 'argument 4 (X'
    {A, [], lam, [X0 X0(:, 1)]}, 'notFeasible', 'argument 4 (X'
    {A, [], lam, X0(1:5, :)}, 'sizes', 'argument 4 (X'
    {A, [], lam, [X0; 0 0]}, 'sizes', 'argument 4 (X'
    {A, [], lam, zeros(n, 0)}, 'sizes', 'argument 4 (X'
    {A, [], lam, eye(n, n + 1)}, 'sizes', 'argument 4 (X'
    {A, [], lam, with(X0, 1, NaN)}, 'notFinite', 'argument 4 (X'
    {A, [], lam, single(X0)}, 'notRealDouble', 'argument 4 (X'
    {A, [], lam, X0 + 1i}, 'notRealDouble', 'argument 4 (X'
    {A, [], lam, sparse(X0)}, 'notRealDouble', 'argument 4 (X'
    {A, [], lam, {X0}}, 'notRealDouble', 'argument 4 (X'
    };
fronts = {'orthopair_solve', 'orthopair_certify', 'orthopair_polish'};
for f = 1:numel(fronts)
    for k = 1:size(bad, 1)
        args = bad{k, 1};
        suite = refuse(suite, ['shapes and values: ' fronts{f}], ...
            @() feval(fronts{f}, args{:}), [fronts{f} ':' bad{k, 2}], bad{k, 3});
    end
end
% The count form of the start, for orthopair_solve only.
for count = {0, n + 1, 1.5, -1, NaN}
    suite = refuse(suite, 'shapes and values: orthopair_solve', ...
        @() orthopair_solve(A, [], lam, count{1}), 'orthopair_solve:sizes', 'X0');
end
suite = refuse(suite, 'shapes and values: orthopair_certify', ...
    @() orthopair_certify(A, [], lam, 2), 'orthopair_certify:sizes', 'X');
% l1_procrustes: M and Y.
M = seeded_uniform(8, n, 5);
Y = seeded_uniform(8, r, 6);
lbad = {
    {M, Y(1:7, :), lam}, 'sizes', 'M'
    {M, [Y Y Y Y], lam}, 'sizes', 'M'
    {M(:, 1), Y(:, 1), lam}, 'sizes', 'M'
    {zeros(0, n), zeros(0, r), lam}, 'sizes', 'M'
    {single(M), Y, lam}, 'notRealDouble', 'argument 1 (M)'
    {M, single(Y), lam}, 'notRealDouble', 'argument 2 (Y)'
    {M + 1i, Y, lam}, 'notRealDouble', 'argument 1 (M)'
    {sparse(M), Y, lam}, 'notRealDouble', 'argument 1 (M)'
    {with(M, 1, NaN), Y, lam}, 'notFinite', 'argument 1 (M)'
    {M, with(Y, 1, Inf), lam}, 'notFinite', 'argument 2 (Y)'
    {M, Y, -1}, 'negativeLambda', 'lambda'
    {M, Y, [1 2 3]}, 'sizes', 'lambda'
    {M, Y, NaN}, 'notFinite', 'lambda'
    {M, Y, lam, struct('X0', ones(n, r))}, 'notFeasible', 'X0'
    {M, Y, lam, struct('X0', eye(n, 3))}, 'sizes', 'X0'
    {M, Y, lam, 3}, 'badOption', 'opts'
    };
for k = 1:size(lbad, 1)
    args = lbad{k, 1};
    suite = refuse(suite, 'shapes and values: l1_procrustes', @() l1_procrustes(args{:}), ...
        ['l1_procrustes:' lbad{k, 2}], lbad{k, 3});
end
% pair_subproblem: indices and shapes.
AX = A * X0;
pbad = {
    {A, [], lam, X0, AX, 1, 1}, 'badIndex', 'differ'
    {A, [], lam, X0, AX, 0, 2}, 'badIndex', 'whole numbers'
    {A, [], lam, X0, AX, 1, n + 1}, 'badIndex', 'whole numbers'
    {A, [], lam, X0, AX, 1.5, 2}, 'badIndex', 'whole numbers'
    {A, [], lam, X0, AX, [1 2], 3}, 'badIndex', 'whole numbers'
    {A, [], lam, X0, AX(:, 1), 1, 2}, 'sizes', 'argument 5 (AX)'
    {A, E(:, 1), lam, X0, AX, 1, 2}, 'sizes', 'argument 2 (E)'
    {A, [], -1, X0, AX, 1, 2}, 'negativeLambda', 'argument 3 (lambda)'
    {A, [], [1 2 3], X0, AX, 1, 2}, 'sizes', 'argument 3 (lambda)'
    {A, [], lam, X0(1:5, :), AX, 1, 2}, 'sizes', 'argument 4 (X)'
    {with(A, n + 1, 1), [], lam, X0, AX, 1, 2}, 'notSymmetric', 'argument 1 (A)'
    {'A', [], lam, X0, AX, 1, 2}, 'notRealDouble', 'argument 1 (A)'
    };
for k = 1:size(pbad, 1)
    args = pbad{k, 1};
    suite = refuse(suite, 'shapes and values: pair_subproblem', @() pair_subproblem(args{:}), ...
        ['pair_subproblem:' pbad{k, 2}], pbad{k, 3});
end
% orthopair_run itself, on the dense form.
rbad = {
    {A(:, 1:5), [], lam, X0}, 'sizes', 'argument 1 (A)'
    {with(A, 2, 1), [], lam, X0}, 'notSymmetric', 'argument 1 (A)'
    {with(A, 1, NaN), [], lam, X0}, 'notFinite', 'argument 1 (A)'
    {A, E(:, 1), lam, X0}, 'sizes', 'argument 2 (E)'
    {A, [], -1, X0}, 'negativeLambda', 'argument 3 (lambda)'
    {A, [], [1 2 3], X0}, 'sizes', 'argument 3 (lambda)'
    {A, [], lam, ones(n, r)}, 'notFeasible', 'argument 4 (X0)'
    {A, [], lam, X0(1:5, :)}, 'sizes', 'argument 4 (X0)'
    };
for k = 1:size(rbad, 1)
    args = rbad{k, 1};
    suite = refuse(suite, 'shapes and values: orthopair_run', @() orthopair_run(args{:}), ...
        ['orthopair_run:' rbad{k, 2}], rbad{k, 3});
end

% ---- options ---------------------------------------------------------------
obad = {
    'rule', 'best'; 'rule', 3; 'rule', {'mixed'}; 'max_iter', -1; 'max_iter', 1.5; 'max_iter', NaN;
    'max_iter', 'a'; 'max_iter', [1 2]; 'time_limit', -1; 'time_limit', NaN; 'time_limit', [1 2];
    'time_limit', 1i; 'target_f', NaN; 'target_f', 'x'; 'tol', -1; 'tol', NaN; 'tol_stat', -1;
    'tol_stat', 'a'; 'n_trials', 0; 'n_trials', 1.5; 'n_trials', -3; 'certify', 2; 'certify', 'yes';
    'certify', [true false]; 'prox', 2; 'prox', 'no'; 'print_every', -1; 'print_every', 1.5;
    'callback', 'disp'; 'callback', 3; 'callback', {@disp}; 'no_such_option', 1; 'Tol', 1e-3;
    'maxiter', 10};
for k = 1:size(obad, 1)
    o = struct(obad{k, 1}, {obad(k, 2)});
    for f = {'orthopair_solve', 'orthopair_polish', 'orthopair_run'}
        suite = refuse(suite, ['options: ' f{1}], @() feval(f{1}, A, [], lam, X0, o), ...
            [f{1} ':badOption'], obad{k, 1});
    end
end
sbad = {'seed', -1; 'seed', 2^32; 'seed', 1.5; 'seed', 'a'; 'verbose', 2; 'verbose', 'yes';
    'verbose', [1 1]};
for k = 1:size(sbad, 1)
    o = struct(sbad{k, 1}, {sbad(k, 2)});
    suite = refuse(suite, 'options: orthopair_solve', @() orthopair_solve(A, [], lam, X0, o), ...
        'orthopair_solve:badOption', sbad{k, 1});
end
for o = {3, 'opts', struct('tol', {1, 2}), {struct()}}
    suite = refuse(suite, 'options: not a struct', @() orthopair_solve(A, [], lam, X0, o{1}), ...
        'orthopair_solve:badOption', 'opts');
    suite = refuse(suite, 'options: not a struct', @() orthopair_run(A, [], lam, X0, o{1}), ...
        'orthopair_run:badOption', 'opts');
    suite = refuse(suite, 'options: not a struct', @() orthopair_certify(A, [], lam, X0, o{1}), ...
        'orthopair_certify:badOption', 'opts');
end
suite = refuse(suite, 'options: print_every needs verbose', ...
    @() orthopair_solve(A, [], lam, X0, struct('print_every', 10)), 'orthopair_solve:badOption', 'verbose');
suite = refuse(suite, 'options: certify', ...
    @() orthopair_certify(A, [], lam, X0, struct('pairs', 2)), 'orthopair_certify:badOption', 'pairs');
suite = refuse(suite, 'options: certify', ...
    @() orthopair_certify(A, [], lam, X0, struct('time_limit', -1)), 'orthopair_certify:badOption', 'time_limit');
suite = refuse(suite, 'options: l1_procrustes', ...
    @() l1_procrustes(M, Y, lam, struct('target_f', 'a')), 'l1_procrustes:badOption', 'target_f');
suite = refuse(suite, 'options: l1_procrustes', ...
    @() l1_procrustes(M, Y, lam, struct('rule', 'best')), 'l1_procrustes:badOption', 'rule');
suite = refuse(suite, 'options: l1_procrustes', ...
    @() l1_procrustes(M, Y, lam, struct('time_limit', -1)), 'l1_procrustes:badOption', 'time_limit');
suite = refuse(suite, 'options: l1_procrustes', ...
    @() l1_procrustes(M, Y, lam, struct('callback', 3)), 'l1_procrustes:badOption', 'callback');

% ---- plot ------------------------------------------------------------------
missing = fullfile(tempdir, 'orthopair no such folder', 'picture.png');
suite = refuse(suite, 'plot', @() orthopair_solve(A, [], lam, X0, struct('plot', missing)), ...
    'orthopair_solve:badPlot', 'folder');
suite = refuse(suite, 'plot', @() orthopair_polish(A, [], lam, X0, struct('plot', missing)), ...
    'orthopair_polish:badPlot', 'folder');
suite = refuse(suite, 'plot', @() l1_procrustes(M, Y, lam, struct('plot', missing)), ...
    'l1_procrustes:badPlot', 'folder');
for p = {2, {{true}}, [true true], ['ab'; 'cd']}
    suite = refuse(suite, 'plot', @() orthopair_solve(A, [], lam, X0, struct('plot', p{1})), ...
        'orthopair_solve:badPlot', 'plot');
end
figures = numel(get(0, 'children'));
[X, info] = orthopair_solve(A, [], lam, X0, struct('plot', false));
suite = accepted(suite, 'plot', X, info, A, [], lam, {'certified'});
suite = expect(suite, 'plot', numel(get(0, 'children')) == figures, 'plot = false drew a figure');

% ---- accepted edge calls: every stop, every rule, every form of A ------------
g = 'edge calls';
% Every form of A gives the same problem.
forms = {A, sparse(A), struct('D', D, 'scale', -1)};
Ad = {A, A, -(D' * D)};
for k = 1:numel(forms)
    for f = {'orthopair_certify'}
        try
            cert = orthopair_certify(forms{k}, E, lam, X0);
            F = objective(Ad{k}, E, lam, X0);
            suite = expect(suite, g, abs(cert.f - F) <= 1e-12 * max(1, abs(F)), ...
                sprintf('%s: f of form %d', f{1}, k));
        catch err
            suite = expect(suite, g, false, sprintf('%s: form %d refused: %s', f{1}, k, err.message));
        end
    end
end
% (the native run takes the sparse and data forms once they are merged in;
% until then orthopair_run refuses them as not a full matrix, which is a
% clear refusal, not a wrong answer)
for k = 2:numel(forms)
    try
        [X, info] = orthopair_solve(forms{k}, E, lam, X0);
        suite = accepted(suite, g, X, info, Ad{k}, E, lam, {'certified'});
    catch err
        suite = expect(suite, g, any(strcmp(err.identifier, ...
            {'orthopair_run:notRealDouble', 'orthopair_solve:notRealDouble'})), ...
            sprintf('form %d: unclear refusal %s', k, err.identifier));
    end
end
stops = {
    struct('max_iter', 0), {'max_iter'}
    struct('max_iter', 5), {'max_iter'}
    struct('max_iter', 5, 'rule', 'zandrel'), {'max_iter'}
    struct('time_limit', 0), {'time_limit'}
    struct('target_f', Inf), {'target'}
    struct('target_f', -Inf), {'certified'}
    struct('certify', false), {'not_certified'}
    struct('certify', 0), {'not_certified'}
    struct('prox', false), {'certified', 'not_certified', 'stalled'}
    struct('tol', 0, 'tol_stat', 0), {'certified', 'not_certified', 'stalled'}
    struct('tol', 1, 'tol_stat', 1), {'certified'}
    struct('n_trials', 1, 'rule', 'tolmiv'), {'certified', 'not_certified', 'stalled'}
    struct('callback', @(info) true), {'callback'}
    struct('callback', @(info) info.iterations >= 0), {'callback'}
    struct('callback', @(info) 1), {'certified'}
    struct('callback', @(info) 'stop'), {'certified'}
    struct('callback', @(info) []), {'certified'}
    struct('callback', @(info) fprintf('')), {'certified'}
    struct('callback', @(info) disp('')), {'certified'}
    struct('callback', @(info) error('user:own', 'my own words')), {'callback_error'}
    struct('rule', []), {'certified'}
    struct('tol', []), {'certified'}
    struct(), {'certified'}
    [], {'certified'}
    struct('seed', 0), {'certified'}
    struct('seed', 2^32 - 1), {'certified'}
    };
rules = {'mixed', 'zandrel', 'tolmiv', 'uniform', 'sweep', 'prox'};
for k = 1:numel(rules)
    stops(end + 1, :) = {struct('rule', rules{k}), {'certified', 'not_certified', 'stalled'}}; %#ok<AGROW>
    stops(end + 1, :) = {struct('rule', rules{k}, 'certify', false), {'not_certified', 'stalled'}}; %#ok<AGROW>
end
for k = 1:size(stops, 1)
    for e = {[], E}
        warned = lastwarn('');
        try
            [X, info] = orthopair_solve(A, e{1}, lam, X0, stops{k, 1});
            suite = accepted(suite, [g ': stops'], X, info, A, e{1}, lam, stops{k, 2});
            if strcmp(info.stop, 'callback_error')
                suite = expect(suite, g, strcmp(info.message, 'my own words'), ...
                    ['callback message lost: ' info.message]);
                [~, id] = lastwarn();
                suite = expect(suite, g, strcmp(id, 'orthopair_run:callback_error'), ...
                    'no warning with an identifier for the callback''s error');
            end
        catch err
            suite = expect(suite, g, false, sprintf('stop case %d refused: %s', k, err.message));
        end
        lastwarn(warned);
    end
end
% Problems at the edges of their class.
edges = {
    {zeros(n), [], 0, X0}
    {zeros(n), E, 0, X0}
    {zeros(n), [], 1, X0}
    {A, [], 0, X0}
    {A, [], 1e6, X0}
    {A, [], [0 1], X0}
    {A, [], lam, eye(n)}
    {A, [], lam, eye(n, 1)}
    {1e250 * A, [], 0, X0}
    {1e-250 * A, [], 0, X0}
    {eye(n), [], lam, X0}
    {A, [], lam, -X0}
    {A, [], lam(ones(r, 1)), X0}
    {A, [], lam, 1}
    {A, [], lam, n}
    {A(1:2, 1:2), [], lam, [0 1; 1 0]}
    {A + 1e-14 * [zeros(n, 1), ones(n, n - 1)], [], lam, X0}
    };
for k = 1:numel(edges)
    args = edges{k};
    try
        [X, info] = orthopair_solve(args{:});
        suite = accepted(suite, [g ': problems'], X, info, 0.5 * (args{1} + args{1}'), args{2}, ...
            args{3}, {'certified', 'not_certified', 'stalled'});
    catch err
        suite = expect(suite, g, false, sprintf('edge problem %d refused: %s', k, err.message));
    end
end
% l1_procrustes reports its own objective, constant included.
[X, info] = l1_procrustes(M, Y, lam);
F = 0.5 * norm(M * X - Y, 'fro')^2 + lam * sum(abs(X(:)));
suite = expect(suite, 'l1_procrustes', abs(info.f - F) <= 1e-12 * max(1, F), 'info.f is not the objective');
suite = expect(suite, 'l1_procrustes', abs(info.history.f(end) - F) <= 1e-12 * max(1, F), ...
    'history.f lacks the constant');
[~, low] = l1_procrustes(M, Y, lam, struct('target_f', 0));
suite = expect(suite, 'l1_procrustes', ~strcmp(low.stop, 'target') && abs(low.f - info.f) <= 1e-9 * F, ...
    'an unreachable target_f stopped the run');
[~, cb] = l1_procrustes(M, Y, lam, struct('callback', @(s) record_f(s)));
suite = expect(suite, 'l1_procrustes', ~isempty(seen_f()) && min(seen_f()) >= F - 1e-9 * F, ...
    'the callback saw f without the constant');
suite = expect(suite, 'l1_procrustes', strcmp(cb.stop, 'certified'), 'callback stopped the run');

% ---- time limits -------------------------------------------------------------
big = 400;
B = cov(seeded_uniform(2 * big, big, 8));
started = tic;
[X, info] = orthopair_solve(-B, [], 0.05, 4, struct('time_limit', 0.3, 'rule', 'sweep'));
took = toc(started);
suite = accepted(suite, 'time limits', X, info, -B, [], 0.05, {'time_limit', 'certified', 'not_certified', 'stalled'});
suite = expect(suite, 'time limits', took <= 0.3 + 2, sprintf('time_limit 0.3 took %.1f s', took));
Xb = orth(seeded_uniform(big, 4, 9) - 0.5);
started = tic;
[X, report] = orthopair_polish(-B, [], 0.05, Xb, struct('time_limit', 0.3));
took = toc(started);
suite = expect(suite, 'time limits', took <= 0.3 + 2, sprintf('polish time_limit 0.3 took %.1f s', took));
suite = expect(suite, 'time limits', report.time <= took && report.time >= 0.9 * took - 0.05, ...
    'report.time is not the time the call took');
suite = expect(suite, 'time limits', norm(X' * X - eye(4), 'fro') <= 1e-12, 'polish X infeasible');

% ---- report ------------------------------------------------------------------
fprintf('interface calls: %d checks, %d failed\n', suite.count, numel(suite.failures));
for k = 1:numel(suite.failures)
    fprintf('  %s\n', suite.failures{k});
end
assert(suite.count >= 250, 'only %d calls', suite.count);
assert(isempty(suite.failures), '%d of %d interface checks failed', numel(suite.failures), suite.count);
end

function out = record_f(s)
seen_f(s.f);
out = false;
end

function all = seen_f(f)
persistent values
if nargin > 0
    values(end + 1) = f;
end
all = values;
end

function M = with(M, k, v)
M(k) = v;
end

function F = objective(A, E, lam, X)
if isempty(E)
    E = zeros(size(X));
end
lam = reshape(lam, 1, []) .* ones(1, size(X, 2));
F = 0.5 * sum(sum(X .* (A * X))) + sum(sum(E .* X)) + sum(lam .* sum(abs(X), 1));
end

function suite = refuse(suite, group, call, id, word)
% The call must raise exactly the identifier id, with word in its message.
suite.count = suite.count + 1;
try
    call();
catch err
    if ~strcmp(err.identifier, id)
        suite.failures{end + 1} = sprintf('[%s] expected %s, got %s: %s', group, id, err.identifier, err.message);
    elseif isempty(strfind(err.message, word))
        suite.failures{end + 1} = sprintf('[%s] %s: the message does not name %s: %s', group, id, word, err.message);
    end
    return;
end
suite.failures{end + 1} = sprintf('[%s] expected %s, the call was accepted', group, id);
end

function suite = accepted(suite, group, X, info, A, E, lam, stops)
suite.count = suite.count + 1;
r = size(X, 2);
F = objective(A, E, lam, X);
problems = {};
if ~(norm(X' * X - eye(r), 'fro') <= 1e-12)
    problems{end + 1} = sprintf('X infeasible by %g', norm(X' * X - eye(r), 'fro'));
end
if ~(abs(info.f - F) <= 1e-12 * max(1, abs(F)))
    problems{end + 1} = sprintf('info.f %.17g but F(X) %.17g', info.f, F);
end
if ~any(strcmp(info.stop, stops))
    problems{end + 1} = sprintf('stop %s, expected one of %s', info.stop, strjoin(stops, ', '));
end
if ~isfield(info, 'message') || ~ischar(info.message) || isempty(info.message)
    problems{end + 1} = 'no info.message';
end
if ~isempty(problems)
    suite.failures{end + 1} = sprintf('[%s] %s', group, strjoin(problems, '; '));
end
end

function suite = expect(suite, group, ok, what)
suite.count = suite.count + 1;
if ~ok
    suite.failures{end + 1} = sprintf('[%s] %s', group, what);
end
end
