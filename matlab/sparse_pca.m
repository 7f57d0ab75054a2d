function [X, info] = sparse_pca(C, r, lambda, opts)
% SPARSE_PCA  Sparse principal components with exactly orthonormal loadings.
%
%   [X, INFO] = SPARSE_PCA(C, R, LAMBDA) solves
%
%       minimise   -1/2*trace(X'*C*X) + LAMBDA*sum(abs(X(:)))
%       subject to X'*X = I,        X is n-by-R,
%
%   for a symmetric positive semidefinite n-by-n matrix C (a covariance or
%   correlation matrix). LAMBDA = 0 gives the principal components
%   themselves (the R leading eigenvectors of C); LAMBDA > 0 trades variance
%   for exact zeros in the loadings X. LAMBDA may also hold one weight per
%   column. The columns of X come ordered by the variance they add (the
%   adjusted variance below), each with its largest-magnitude loading
%   positive; with one weight per column the columns keep their order, so
%   that the k-th weight stays with the k-th column.
%
%   [X, INFO] = SPARSE_PCA(D, R, LAMBDA) with a non-square D (m-by-n, one
%   sample per row) takes D as data: it is centred (and standardised if
%   asked), and C is its sample covariance Dc'*Dc/(m-1), the one COV
%   computes, so that LAMBDA means the same whatever the number of samples.
%   C is never formed: the solver works with Dc itself. A square D is taken
%   as data only with OPTS.data = true.
%
%   [X, INFO] = SPARSE_PCA(..., struct('nnz', K)) searches LAMBDA for K
%   nonzero loadings in all; struct('nnz_per_component', [k1 ... kR]) for
%   k(j) in column j (one weight per column). See "Sparsity asked for".
%
%   OPTS fields (all optional):
%     data              true: a square first argument is data (false).
%     center            centre the columns of data (true).
%     standardize       scale the columns to unit variance, i.e. work with
%                       the correlation matrix (false); for a covariance
%                       matrix, turns it into the correlation matrix.
%     divisor           C = Dc'*Dc/divisor (m-1; 1 gives the plain Gram
%                       matrix of the data).
%     starts            number of starts: the principal components and
%                       STARTS-1 seeded random orthonormal matrices (seeds
%                       seed+1, seed+2, ...). Default 5 for n <= 200, 3 for
%                       n <= 1000, else 1; 1 when X0 is given or LAMBDA = 0.
%                       The run with the lowest F among those certified (or
%                       of all when none is) is returned; with a count of
%                       nonzeros asked for, the one keeping the most
%                       adjusted variance within that count.
%     X0                a start of your own (n-by-R, orthonormal columns);
%                       with STARTS > 1 the random starts come after it.
%     refit             re-fit the loadings on the support found: 'auto'
%                       (default: keep the re-fit when it raises the
%                       adjusted variance), true (keep it when it is no
%                       worse), or false. See "Re-fit".
%     nnz               target total number of nonzeros (see below).
%     nnz_per_component target nonzeros per column (1-by-R).
%     max_solves        cap on solves of the search over LAMBDA (40).
%     swaps             cap on re-fits spent moving single nonzeros once
%                       the count is met (300; 0 for none).
%   and those of ORTHOPAIR_SOLVE (rule, max_iter, time_limit, target_f, tol,
%   tol_stat, n_trials, prox, callback, print_every, seed, verbose, plot),
%   which apply to every solve. A stop asked for by the caller ('target',
%   'callback', 'time_limit', ...) ends the remaining starts too.
%
%   Sparsity asked for: with NNZ = K, LAMBDA (then ignored as a value) is
%   found by bracketing (doubling from a scale set by C) and bisection on a
%   log scale, each solve warm-started from the loadings of the nearest
%   weight below (the denser side). The count
%   of nonzeros need not move one at a time with LAMBDA: where it jumps past
%   K, the result is the loadings with the largest count at most K, and
%   INFO.search says what the nearest counts on both sides keep. The L1
%   term is only a means to a support here, so two more steps look for a
%   better one of the size asked for (unless refit is false): truncated
%   power steps (keep the K largest entries of C*X, re-fit, repeat) from
%   the solutions on either side and from the principal components, then
%   single moves of a nonzero (option swaps). The one keeping the most
%   adjusted variance wins; INFO.search.method says which ('lambda',
%   'truncated' or 'swaps'). With a count asked for, STARTS defaults to 1.
%
%   Re-fit: with the zero pattern of X fixed, the loadings are moved to keep
%   as much adjusted variance as they can with X'*X = I. Two ways are
%   tried and the better kept: block-coordinate ascent of trace(X'*C*X)
%   (column k becomes the leading eigenvector of C restricted to its support
%   and to the orthogonal complement of the other columns), and one pass
%   in which each column, in order, takes the loadings on its support that
%   add the most variance to the columns before it (the leading eigenvector
%   of the covariance left after their scores are taken out). Neither adds a
%   nonzero; on a full pattern the second gives the principal components.
%   For R = 1 both are the leading eigenvector of C on the support. The
%   re-fit loadings are no longer a minimiser of F, which gives up variance
%   to pay for the L1 term; they are better loadings with that support.
%
%   INFO holds the chosen run's ORTHOPAIR_SOLVE fields (f is F at the
%   returned X; f_solve F at the solver's point before any re-fit) and:
%     variance                 trace(X'*C*X), the variance kept.
%     variance_per_component   diag(X'*C*X)'.
%     adjusted_variance        sum(diag(R).^2) with Dc*X = Q*R (in units of
%                              C): what the columns add one after another,
%                              so that correlated columns count once.
%     adjusted_per_component   diag(R).^2'.
%     total_variance           trace(C).
%     pca_variance             sum of the R largest eigenvalues of C.
%     explained, adjusted_explained          shares of total_variance.
%     explained_pca, adjusted_explained_pca  shares of pca_variance.
%     nnz, nnz_per_component, lambda (per column), order (the column of
%     the run each returned column came from).
%     refit      struct: applied (true/false), adjusted_before/after,
%                variance_before/after, rounds, X_before (the solver's
%                loadings, ordered and signed by the same rule as X).
%     starts     struct array, one per start: kind ('pca', 'random',
%                'given'), seed, f, stop, nnz, variance, adjusted_variance
%                (of the run's own point, before any re-fit).
%     search     (nnz targets only) target, reached, within (the count
%                is at most the target), method, lambda, solves, below
%                and above (nnz, lambda, variance, adjusted_variance of the
%                nearest counts on each side; empty where none was seen),
%                trail (lambda, nnz, adjusted_variance of every solve).
%
%   Example:
%       D = seeded_uniform(200, 12, 1) - 0.5;  D(:, 2) = D(:, 1) + 0.1 * D(:, 2);
%       [X, info] = sparse_pca(D, 2, 0.02);
%       [nnz(X), info.adjusted_explained_pca]
%       [X5, info5] = sparse_pca(D, 2, 0, struct('nnz', 5));
%       info5.search.reached
%
%   See also SPARSE_PCA_PATH, ORTHOPAIR_SOLVE, ORTHOPAIR_POLISH, ORTHOPAIR_CERTIFY.

if nargin < 3
    error('sparse_pca:nargin', 'Call as sparse_pca(C, r, lambda) or sparse_pca(C, r, lambda, opts).');
end
if nargin < 4
    opts = [];
end
[P, lambda, s] = check_call(C, r, lambda, opts);
[runs, report, P] = run_starts(P, lambda, starts_of(P, s), s);
best = pick(P, runs, s.searching);
X = runs{best}.X;
info = runs{best}.info;
info.starts = report;
info.lambda = info_lambda(info, lambda);

% ---- principal components at lambda = 0 -----------------------------------
% Every rotation of the leading subspace minimises F when lambda = 0; the
% principal components are the one users mean. The run above started at
% them and certifies them; unless it found a lower F (it cannot, up to
% rounding), the eigenvectors are returned as computed.
if s.pca_only && info.f >= objective(P, P.V, lambda) - 1e-12 * max(1, abs(info.f))
    X = P.V;
end
info.f_solve = info.f;
[X, info] = order_and_refit(P, X, info, s);
info.f = objective(P, X, info.lambda);
info = add_variance(info, P, X);
info.feasibility = norm(X' * X - eye(s.r), 'fro');
info.nnz = nnz(X);
info.nnz_per_component = full(sum(X ~= 0, 1));
end

% =========================================================================
% The call: its arguments and options, the starts, the runs
% =========================================================================

function [P, lambda, s] = check_call(C, r, lambda, opts)
% The problem P, the weights (one per column) and the settings s of a call,
% each argument checked in the order the errors are documented.
if isempty(opts)
    opts = struct();
elseif ~isstruct(opts) || numel(opts) ~= 1
    error('sparse_pca:badOption', 'opts must be a scalar struct.');
end
if ~isnumeric(C) || ~ismatrix(C) || isempty(C) || ~isreal(C) || ~all(isfinite(C(:)))
    error('sparse_pca:badC', 'C must be a non-empty real finite matrix.');
end
s = struct('opts', opts);
[s.solver_opts, s.seed] = solver_options(opts);
P = prepare(C, opts);
n = P.n;
if ~isnumeric(r) || ~isscalar(r) || ~isreal(r) || r ~= fix(r) || r < 1 || r > n
    error('sparse_pca:badR', 'r must be an integer with 1 <= r <= n (n = %d).', n);
end
s.r = r;
if ~isnumeric(lambda) || ~isreal(lambda) || any(~isfinite(lambda(:))) || any(lambda(:) < 0) ...
        || ~(numel(lambda) == 1 || numel(lambda) == r)
    error('sparse_pca:badLambda', 'lambda must be one weight >= 0 or %d of them.', r);
end
lambda = double(lambda(:)') .* ones(1, r);
s.refit = option(opts, 'refit', 'auto');
if ~(islogical(s.refit) || isnumeric(s.refit) || strcmp(s.refit, 'auto'))
    error('sparse_pca:badOption', 'refit must be true, false or ''auto''.');
end
s.X0 = option(opts, 'X0', []);
if ~isempty(s.X0) && (~isnumeric(s.X0) || ~isequal(size(s.X0), [n r]))
    error('sparse_pca:badX0', 'X0 must be n-by-r (%d-by-%d).', n, r);
end

P = add_pca(P, r);
s.target = option(opts, 'nnz', []);
s.per_target = option(opts, 'nnz_per_component', []);
if ~isempty(s.target) && ~isempty(s.per_target)
    error('sparse_pca:badOption', 'Give nnz or nnz_per_component, not both.');
end
if ~isempty(s.target) && (~isscalar(s.target) || s.target ~= fix(s.target) || s.target < r ...
        || s.target > n * r)
    error('sparse_pca:badOption', 'nnz must be an integer in [r, n*r] = [%d, %d].', r, n * r);
end
if ~isempty(s.per_target) && (numel(s.per_target) ~= r || any(s.per_target ~= fix(s.per_target)) ...
        || any(s.per_target < 1) || any(s.per_target > n))
    error('sparse_pca:badOption', 'nnz_per_component must hold %d integers in [1, n].', r);
end
s.searching = ~isempty(s.target) || ~isempty(s.per_target);
s.pca_only = ~s.searching && all(lambda == 0);
end

function [solver_opts, seed] = solver_options(opts)
% The options meant for every solve (the native run's table and what
% orthopair_solve adds to it), after a check that every name given is
% known, and the seed of the first start.
own = {'data', 'center', 'standardize', 'divisor', 'starts', 'X0', 'refit', 'nnz', ...
    'nnz_per_component', 'max_solves', 'swaps'};
table = orthopair_run();
solver_names = [{table.name}, {'plot'}];
given = fieldnames(opts);
for k = 1:numel(given)
    if ~any(strcmp(given{k}, [own solver_names]))
        error('sparse_pca:badOption', 'Unknown option ''%s''. Known options: %s.', ...
            given{k}, strjoin([own solver_names], ', '));
    end
end
solver_opts = struct();
for k = 1:numel(solver_names)
    value = option(opts, solver_names{k}, []);
    if ~isempty(value)
        solver_opts.(solver_names{k}) = value;
    end
end
seed = option(solver_opts, 'seed', orthopair_problem('default', 'seed'));
end

function starts = starts_of(P, s)
% The starts of a call: the principal components (or X0), then seeded
% random ones. Several starts pay on small problems: on the real data sets
% of the benchmark (r = 2, 4, 6, three weights each) the start from the
% principal components did as well as the best of seven starts in 30 of 45
% problems, the best of the first five in 40.
default_starts = 1;
if isempty(s.X0) && ~s.pca_only && ~s.searching
    if P.n <= 200
        default_starts = 5;
    elseif P.n <= 1000
        default_starts = 3;
    end
end
n_starts = option(s.opts, 'starts', default_starts);
if ~isnumeric(n_starts) || ~isscalar(n_starts) || n_starts < 1 || n_starts ~= fix(n_starts)
    error('sparse_pca:badOption', 'starts must be a positive integer.');
end
if s.pca_only
    n_starts = 1;
end
starts = struct('kind', {}, 'seed', {}, 'X', {});
if isempty(s.X0)
    starts(1).kind = 'pca';
    starts(1).X = P.V;
else
    starts(1).kind = 'given';
    starts(1).X = s.X0;
end
starts(1).seed = s.seed;
for k = 2:n_starts
    starts(k).kind = 'random';
    starts(k).seed = s.seed + k - 1;
    starts(k).X = [];
end
end

function [runs, report, P] = run_starts(P, lambda, starts, s)
% One solve (or one search over lambda) from each start, until a stop the
% caller asked for ends them all.
clock = tic;
runs = cell(1, numel(starts));
report = struct('kind', {}, 'seed', {}, 'f', {}, 'stop', {}, 'nnz', {}, 'variance', {}, ...
    'adjusted_variance', {});
for k = 1:numel(starts)
    o = s.solver_opts;
    o.seed = starts(k).seed;
    if isfield(o, 'time_limit')
        o.time_limit = max(0, s.solver_opts.time_limit - toc(clock));
    end
    start = starts(k).X;
    if isempty(start)
        start = s.r;
    end
    if s.searching
        [Xk, ik, P, search] = nnz_search(P, start, s.target, s.per_target, o, s.opts, ...
            ~is_off(s.refit));
        ik.search = search;
    else
        [Xk, ik, P] = solve(P, lambda, start, o);
    end
    m = measure(P, arrange(P, Xk, true));
    runs{k} = struct('X', Xk, 'info', ik, 'measure', m);
    report(k) = struct('kind', starts(k).kind, 'seed', starts(k).seed, 'f', ik.f, ...
        'stop', ik.stop, 'nnz', nnz(Xk), 'variance', m.variance, ...
        'adjusted_variance', m.adjusted);
    if caller_stop(ik.stop)
        break;
    end
end
runs = runs(1:numel(report));
end

function stop = caller_stop(word)
% Whether a run ended on a stop the caller asked for, which ends the rest.
stop = any(strcmp(word, {'target', 'callback', 'callback_error', 'interrupted', 'time_limit'}));
end

function [X, info] = order_and_refit(P, X, info, s)
% Columns ordered and signed; then, unless it is off or there is nothing to
% re-fit, the loadings re-fit on their support (see "Re-fit" in the help).
reorder = all(info.lambda == info.lambda(1));
[X, order] = arrange(P, X, reorder);
info.lambda = info.lambda(order);
do_refit = ~s.pca_only && any(info.lambda > 0) && ~is_off(s.refit) ...
    && any(strcmp(info.stop, {'certified', 'not_certified', 'stalled', 'max_iter'}));
before = measure(P, X);
info.refit = struct('applied', false, 'variance_before', before.variance, ...
    'variance_after', before.variance, 'adjusted_before', before.adjusted, ...
    'adjusted_after', before.adjusted, 'rounds', 0, 'X_before', X);
if do_refit
    [Xr, rounds] = refit_best(P, X);
    [Xr, order_r] = arrange(P, Xr, reorder);
    after = measure(P, Xr);
    wins = after.adjusted > before.adjusted * (1 + 1e-12);
    if (wins || ~strcmp(s.refit, 'auto')) && norm(Xr' * Xr - eye(s.r), 'fro') <= 1e-12
        X = Xr;
        order = order(order_r);
        info.lambda = info.lambda(order_r);
        info.refit.applied = true;
        info.refit.variance_after = after.variance;
        info.refit.adjusted_after = after.adjusted;
    end
    info.refit.rounds = rounds;
end
info.order = order;
end

% =========================================================================
% The problem in one of two forms: a covariance C, or data Dc with
% C = Dc'*Dc/divisor that is never formed.
% =========================================================================

function P = prepare(C, opts)
as_data = size(C, 1) ~= size(C, 2);
if isfield(opts, 'data') && ~isempty(opts.data)
    as_data = as_data || logical(opts.data);
end
standardize = logical(option(opts, 'standardize', false));
C = full(double(C));
P = struct('data', as_data, 'n', size(C, 2), 'A', []);
if as_data
    m = size(C, 1);
    if logical(option(opts, 'center', true))
        C = C - repmat(sum(C, 1) / m, m, 1);
    end
    P.divisor = option(opts, 'divisor', max(1, m - 1));
    if ~isnumeric(P.divisor) || ~isscalar(P.divisor) || ~(P.divisor > 0) || ~isfinite(P.divisor)
        error('sparse_pca:badOption', 'divisor must be a positive number.');
    end
    if standardize
        sd = sqrt(sum(C .^ 2, 1) / P.divisor);
        sd(sd == 0) = 1;
        C = C ./ repmat(sd, m, 1);
    end
    P.D = C;
    P.trace = sum(C(:) .^ 2) / P.divisor;
else
    asym = norm(C - C', 'fro');
    if asym > 1e-10 * max(norm(C, 'fro'), realmin)
        warning('sparse_pca:notSymmetric', ...
            'C is not symmetric (||C - C''||/||C|| = %.1e); using (C + C'')/2.', ...
            asym / norm(C, 'fro'));
    end
    C = 0.5 * (C + C');
    if standardize
        d = sqrt(diag(C));
        d(d == 0) = 1;
        C = C ./ (d * d');
    end
    P.C = C;
    P.trace = trace(C);
end
end

function P = add_pca(P, r)
% The r leading eigenpairs of C (from the SVD of the data, whose right
% singular vectors are the eigenvectors of Dc'*Dc), and a semidefiniteness
% check for a given C.
n = P.n;
if P.data
    [~, S, V] = svd(P.D, 'econ');
    s2 = diag(S) .^ 2 / P.divisor;
    if numel(s2) < r              % fewer samples than components
        extra = null(V');
        V = [V, extra(:, 1:r - numel(s2))];
        s2 = [s2; zeros(r - numel(s2), 1)];
    end
    V = V(:, 1:r);
    values = s2(1:r);
elseif n <= 3000
    [V, E] = eig(P.C);
    [e, idx] = sort(diag(E), 'descend');
    V = V(:, idx(1:r));
    values = e(1:r);
    if e(end) < -1e-10 * max(abs(e(1)), realmin)
        warning('sparse_pca:notPSD', ['C is not positive semidefinite (smallest eigenvalue %.3g, ' ...
            'largest %.3g): is it a covariance matrix? Data matrices that happen to be square ' ...
            'need struct(''data'', true).'], e(end), e(1));
    end
else
    [V, E] = eigs(P.C, r, 'la');
    [values, idx] = sort(diag(E), 'descend');
    V = V(:, idx);
    d = diag(P.C);
    if any(d < 0)
        warning('sparse_pca:notPSD', 'C is not positive semidefinite (a negative diagonal entry).');
    end
end
P.V = sign_convention(V);
P.pca_values = values(:)';
end

function A = quad_operator(P)
% The quadratic term of F for the solver, A = -C. From data it is the gram
% form, A = scale*Dc'*Dc with scale = -1/divisor, which the solver applies
% as two products with Dc, so nothing n-by-n is formed.
if P.data
    A = struct('D', P.D, 'scale', -1 / P.divisor);
else
    A = -P.C;
end
end

function [X, info, P] = solve(P, lambda, start, o)
if isempty(P.A)
    P.A = quad_operator(P);
end
try
    [X, info] = orthopair_solve(P.A, [], lambda, start, o);
catch err
    % Fallback while the solver does not yet take the gram form: form
    % -Dc'*Dc/divisor densely, for small n only.
    if ~isstruct(P.A) || P.n > 2000 || isempty(strfind(err.identifier, 'badA'))
        rethrow(err);
    end
    P.A = -(P.D' * P.D) / P.divisor;
    [X, info] = orthopair_solve(P.A, [], lambda, start, o);
end
end

function Y = times_c(P, X)
if P.data
    Y = (P.D' * (P.D * X)) / P.divisor;
else
    Y = P.C * X;
end
end

function G = gram(P, X)
% X'*C*X, from the scores Dc*X for data.
if P.data
    Z = P.D * X;
    G = (Z' * Z) / P.divisor;
else
    G = X' * (P.C * X);
end
G = 0.5 * (G + G');
end

function f = objective(P, X, lambda)
f = -0.5 * trace(gram(P, X)) + sum(lambda(:)' .* sum(abs(X), 1));
end

function m = measure(P, X)
G = gram(P, X);
m.per_component = diag(G)';
m.variance = sum(m.per_component);
m.adjusted_per = adjusted_in_order(G);
m.adjusted = sum(m.adjusted_per);
end

function d = adjusted_in_order(G)
% Squared diagonal of R in Z = Q*R for scores Z with Z'*Z = G: what each
% column adds beyond the span of the ones before it, the pivots of
% symmetric elimination on G (a pivot below rounding adds nothing and
% eliminates nothing).
r = size(G, 1);
d = zeros(1, r);
tol = 1e-14 * max(trace(G), realmin);
for k = 1:r
    v = G(k, k);
    d(k) = max(v, 0);
    if v > tol && k < r
        G(k + 1:r, k + 1:r) = G(k + 1:r, k + 1:r) - G(k + 1:r, k) * (G(k, k + 1:r) / v);
    end
end
end

function info = add_variance(info, P, X)
m = measure(P, X);
info.variance = m.variance;
info.variance_per_component = m.per_component;
info.adjusted_variance = m.adjusted;
info.adjusted_per_component = m.adjusted_per;
info.total_variance = P.trace;
info.pca_variance = sum(P.pca_values);
info.explained = m.variance / P.trace;
info.adjusted_explained = m.adjusted / P.trace;
info.explained_pca = m.variance / info.pca_variance;
info.adjusted_explained_pca = m.adjusted / info.pca_variance;
end

function [X, order] = arrange(P, X, reorder)
% Columns in the order in which each adds the most variance to those before
% it (greedy on the Schur complements of X'*C*X), largest loading positive.
r = size(X, 2);
order = 1:r;
if reorder && r > 1
    G = gram(P, X);
    tol = 1e-14 * max(trace(G), realmin);
    left = true(1, r);
    for k = 1:r
        gain = diag(G)';
        gain(~left) = -Inf;
        [~, j] = max(gain);
        order(k) = j;
        left(j) = false;
        v = G(j, j);
        if v > tol
            G = G - G(:, j) * (G(j, :) / v);
        end
    end
    X = X(:, order);
end
X = sign_convention(X);
end

function X = sign_convention(X)
[~, at] = max(abs(X), [], 1);
s = sign(X(sub2ind(size(X), at, 1:size(X, 2))));
s(s == 0) = 1;
X = X .* repmat(s, size(X, 1), 1);
end

function best = pick(P, runs, searching)
% The lowest F among certified runs, else among all; with a target count,
% the most adjusted variance among runs within the target.
n = numel(runs);
if searching
    score = -Inf(1, n);
    for k = 1:n
        if runs{k}.info.search.within
            score(k) = greedy_adjusted(P, refit_best(P, runs{k}.X));
        end
    end
    if all(score == -Inf)
        for k = 1:n
            score(k) = -runs{k}.info.f;
        end
    end
    [~, best] = max(score);
    return;
end
f = zeros(1, n);
cert = false(1, n);
for k = 1:n
    f(k) = runs{k}.info.f;
    cert(k) = strcmp(runs{k}.info.stop, 'certified');
end
if any(cert)
    f(~cert) = Inf;
end
[~, best] = min(f);
end

function lam = info_lambda(info, lambda)
if isfield(info, 'search')
    lam = info.search.lambda;
else
    lam = lambda;
end
end

% =========================================================================
% Search over lambda for a count of nonzeros
% =========================================================================

function [X, info, P, search] = nnz_search(P, start, target, per_target, o, opts, allow_truncation)
% Bracketing then bisection on log(lambda), every solve warm-started from
% the loadings of the solve before. One weight for a total count; one per
% column for counts per column, each bisected on its own bracket (the
% columns interact only through X'*X = I).
r = size(P.V, 2);
max_solves = option(opts, 'max_solves', 40);
per = ~isempty(per_target);
if per
    goal = per_target(:)';
else
    goal = target;
end
% A scale for lambda: the gradient of the variance term at the start is
% C*X, whose entries set the size at which the L1 term starts to bite.
scale = max(abs(P.pca_values(1)), realmin) / sqrt(P.n);
lo = zeros(1, numel(goal));
hi = Inf(1, numel(goal));
lam = scale * ones(1, numel(goal));
seen = struct('trail', struct('lambda', {}, 'nnz', {}, 'adjusted_variance', {}), ...
    'below', [], 'above', [], 'exact', [], 'within', [], 'within_value', -Inf, ...
    'within_lambda', []);
% Each solve starts from the loadings of the nearest weight below (the
% denser side, the start itself at first): a very sparse point is a poor
% start for a denser one.
X_dense = start;
for s = 1:max_solves
    lam_full = lam .* ones(1, r);
    [Xk, ik, P] = solve(P, lam_full, X_dense, o);
    counts = full(sum(Xk ~= 0, 1));
    if per
        count = counts;
    else
        count = sum(counts);
    end
    seen = keep_solve(seen, P, Xk, ik, lam_full, counts, count, goal, allow_truncation);
    if ~isempty(seen.exact) || caller_stop(ik.stop)
        break;
    end
    % Update each bracket: too many nonzeros needs a larger weight.
    if any(count > goal)
        X_dense = Xk;
    end
    [lam, lo, hi] = next_weights(lam, lo, hi, count, goal);
    if all(isfinite(hi) & lo > 0 & hi - lo <= 1e-9 * hi)
        break;
    end
end
chosen = seen.exact;
if isempty(chosen)
    chosen = seen.below;
end
within = ~isempty(chosen);
if isempty(chosen)
    chosen = seen.above;
end
X = chosen.X;
info = chosen.info;
method = 'lambda';
if allow_truncation && ~caller_stop(ik.stop)
    [X, method, within, chosen] = better_support(P, X, chosen, within, seen, goal, per, ...
        option(opts, 'swaps', 300));
end
search = struct('target', goal, 'reached', ~isempty(seen.exact) ...
    || all(full(sum(X ~= 0, 1)) == goal) || (~per && nnz(X) == goal), 'within', within, ...
    'method', method, 'lambda', chosen.lambda, 'solves', numel(seen.trail), ...
    'below', side(seen.below), 'above', side(seen.above), 'trail', seen.trail);
end

function seen = keep_solve(seen, P, Xk, ik, lam_full, counts, count, goal, allow_truncation)
% Adds one solve of the search to what it has seen: the trail, the nearest
% counts on either side of the goal (more nonzeros within the count, or
% fewer above it, and at equal counts more adjusted variance), the best
% re-fit point within the count, and the solve that meets it exactly.
m = measure(P, Xk);
seen.trail(end + 1) = struct('lambda', lam_full, 'nnz', counts, 'adjusted_variance', m.adjusted);
entry = struct('X', Xk, 'info', ik, 'lambda', lam_full, 'nnz', sum(counts), ...
    'counts', counts, 'variance', m.variance, 'adjusted_variance', m.adjusted);
if all(count <= goal) && allow_truncation
    % The best re-fit point within the count, whatever its count: the
    % counts are not ordered by what they keep.
    Xr = refit_best(P, Xk);
    value = greedy_adjusted(P, Xr);
    if value > seen.within_value
        seen.within_value = value;
        seen.within = Xr;
        seen.within_lambda = lam_full;
    end
end
below = seen.below;
if all(count <= goal) && (isempty(below) || sum(counts) > below.nnz ...
        || (sum(counts) == below.nnz && m.adjusted > below.adjusted_variance))
    seen.below = entry;
end
above = seen.above;
if sum(counts) > sum(goal) && (isempty(above) || sum(counts) < above.nnz ...
        || (sum(counts) == above.nnz && m.adjusted > above.adjusted_variance))
    seen.above = entry;
end
if all(count == goal)
    seen.exact = entry;
end
end

function [lam, lo, hi] = next_weights(lam, lo, hi, count, goal)
% One step on each bracket [lo, hi] of a weight whose count misses its
% goal: doubling or halving until the goal is bracketed, then bisection on
% a log scale.
for j = 1:numel(goal)
    if count(j) > goal(j)
        lo(j) = lam(j);
    elseif count(j) < goal(j)
        hi(j) = lam(j);
    else
        continue;
    end
    if isinf(hi(j))
        lam(j) = 2 * lam(j);
    elseif lo(j) == 0
        lam(j) = lam(j) / 2;
    else
        lam(j) = sqrt(lo(j) * hi(j));
    end
end
end

function [X, method, within, chosen] = better_support(P, X, chosen, within, seen, goal, per, swap_budget)
% The L1 term picks a support; the count asked for may be better served by
% truncated power steps from the nearest solutions on either side (the
% count then is exact), or by the best re-fit point the search saw within
% the count, and then by single moves of a nonzero. Each is kept only when
% it keeps more adjusted variance than the re-fit solution of the search.
method = 'lambda';
Xr = refit_best(P, X);
if isempty(Xr) || ~within
    value = -Inf;
else
    value = greedy_adjusted(P, Xr);
end
from = {};
if within
    from{end + 1} = X;
end
if ~isempty(seen.above)
    from{end + 1} = seen.above.X;
end
from{end + 1} = P.V;
for k = 1:numel(from)
    Xt = count_ascent(P, from{k}, goal, per);
    counts = full(sum(Xt ~= 0, 1));
    if ~isempty(Xt) && all(counts <= goal) && sum(counts) <= sum(goal)
        m = greedy_adjusted(P, Xt);
        if m > value * (1 + 1e-12)
            value = m;
            X = Xt;
            method = 'truncated';
            within = true;
        end
    end
end
if seen.within_value > value * (1 + 1e-12)
    X = seen.within;
    method = 'lambda';
    chosen.lambda = seen.within_lambda;
end
if within && swap_budget > 0
    [Xs, gain] = swap_search(P, X, goal, per, swap_budget);
    if gain > 0
        X = Xs;
        method = 'swaps';
    end
end
end

function s = side(entry)
if isempty(entry)
    s = [];
else
    s = struct('nnz', entry.nnz, 'nnz_per_component', entry.counts, 'lambda', entry.lambda, ...
        'variance', entry.variance, 'adjusted_variance', entry.adjusted_variance);
end
end

% =========================================================================
% Re-fit on a fixed support
% =========================================================================

function [X, rounds] = refit_best(P, X, Q, max_rounds)
% The best, by adjusted variance, of two re-fits on the pattern Q (and of X
% itself when it lies on Q; default Q: the nonzeros of X): the
% block-coordinate ascent of the variance below (from X when X lies on Q,
% else from zero), and one pass that takes
% the columns in X's order and gives each the loadings that add the most
% variance to the columns before it (REFIT_ADJUSTED). On a full pattern the
% second gives the principal components; the first may keep a rotation of
% them whose correlated scores count for less.
[n, r] = size(X);
if nargin < 3 || isempty(Q)
    Q = (X ~= 0);
end
if nargin < 4
    max_rounds = 50;
end
order = 1:r;
if all(any(X ~= 0, 1))
    [~, order] = arrange(P, X, true);
end
warm = all(X(~Q) == 0) && all(any(X ~= 0, 1)) && norm(X' * X - eye(r), 'fro') <= 1e-12;
if ~warm
    X = zeros(n, r);
end
X0 = X;
[Xt, rounds] = refit_on_support(P, X, Q, max_rounds);
Xa = refit_adjusted(P, Q, order);
candidates = {Xt, Xa};
if warm
    candidates{end + 1} = X0;     % neither re-fit may lose what X keeps
end
X = [];
best = -Inf;
for k = 1:numel(candidates)
    if ~isempty(candidates{k})
        value = greedy_adjusted(P, candidates{k});
        if value > best
            best = value;
            X = candidates{k};
        end
    end
end
end

function X = refit_adjusted(P, Q, order)
% Column order(k) becomes the leading eigenvector, on its support and
% orthogonal to the columns set before it, of the covariance left after
% the scores of those columns are taken out:
%     C - C*Xp*(Xp'*C*Xp)^+*Xp'*C,
% applied to a basis W of the admissible loadings as W'*C*W minus the
% product of the cross terms W'*C*Xp, so nothing n-by-n is formed. Empty
% when some column has no admissible loading left.
[n, r] = size(Q);
X = zeros(n, r);
done = [];
for k = order
    S = find(Q(:, k));
    if isempty(done)
        Z = eye(numel(S));
    else
        Z = complement(X(S, done));
    end
    if isempty(Z)
        X = [];
        return;
    end
    if isempty(done)
        M = restricted(P, S, Z);
    else
        Xp = X(:, done);
        [M, B] = restricted(P, S, Z, Xp);
        M = M - B * (pinv(gram(P, Xp)) * B');
        M = 0.5 * (M + M');
    end
    [Vm, Em] = eig(M);
    [~, at] = max(diag(Em));
    col = zeros(n, 1);
    col(S) = Z * Vm(:, at);
    X(:, k) = col / norm(col);
    done(end + 1) = k; %#ok<AGROW>
end
end

function Z = complement(N)
% An orthonormal basis of the vectors y with N'*y = 0, from the SVD of N
% (numerical rank at 1e-12 relative to the largest singular value).
[U, ~] = svd(N);
sv = svd(N);
rank_n = sum(sv > 1e-12 * max(sv(1), realmin));
Z = U(:, rank_n + 1:end);
end

function [M, B] = restricted(P, S, Z, X)
% M = W'*C*W and B = W'*C*X for the loadings W that are Z on the rows S and
% zero elsewhere, from the columns S of the data alone.
if P.data
    Y = P.D(:, S) * Z;
    M = (Y' * Y) / P.divisor;
    if nargin > 3
        B = (Y' * (P.D * X)) / P.divisor;
    end
else
    M = Z' * P.C(S, S) * Z;
    if nargin > 3
        B = Z' * (P.C(S, :) * X);
    end
end
M = 0.5 * (M + M');
end

function [X, rounds] = refit_on_support(P, X, Q, max_rounds)
% Block-coordinate ascent of trace(X'*C*X) over X'*X = I with X zero
% outside the pattern Q, for at most MAX_ROUNDS rounds. Column k, the others
% held, is best as the leading eigenvector of C restricted to its support S
% and to the complement of the other columns there: with Z an orthonormal
% basis of {y on S : X(S, others)'*y = 0}, the column is Z*w for the
% leading eigenvector w of Z'*C(S, S)*Z. X may start at zero: columns not
% yet set constrain nothing, so the first round builds a feasible point one
% column at a time (empty X on return when the pattern admits none).
% Supports larger than 1500 are left as they are.
[n, r] = size(X);
value = -Inf;
rounds = 0;
% From zero, the smallest supports go first: a column on one variable fixes
% that variable, and the larger supports then fit around it.
[~, sequence] = sort(full(sum(Q, 1)));
for round = 1:max_rounds
    rounds = round;
    for k = sequence
        S = find(Q(:, k));
        if numel(S) > 1500 && any(X(:, k))
            continue;
        end
        others = [1:k - 1, k + 1:r];
        N = X(S, others);
        if isempty(others) || ~any(N(:))
            Z = eye(numel(S));
        else
            Z = complement(N);
        end
        if isempty(Z)
            if ~any(X(:, k))
                X = [];
                return;
            end
            continue;
        end
        [Vm, Em] = eig(restricted(P, S, Z));
        [top, at] = max(diag(Em));
        col = zeros(n, 1);
        col(S) = Z * Vm(:, at);
        col = col / norm(col);
        if ~any(X(:, k)) || top >= restricted(P, S, X(S, k))
            X(:, k) = col;
        end
    end
    new_value = trace(gram(P, X));
    if new_value - value <= 1e-13 * max(abs(new_value), realmin)
        break;
    end
    value = new_value;
end
end

function [X, gain] = swap_search(P, X, goal, per, budget)
% Local search over supports: add a nonzero while short of the count GOAL,
% else move one to a place where C*X is large (within its column for
% counts per column), re-fit the
% loadings on the new support, and keep the move when the adjusted
% variance grows; first improvement, the likeliest moves first (small
% loadings out, large entries of C*X in), until no move among them helps or
% BUDGET re-fits are spent.
[n, r] = size(X);
Xr = refit_best(P, X);
if ~isempty(Xr) && norm(Xr' * Xr - eye(r), 'fro') <= 1e-12 ...
        && greedy_adjusted(P, Xr) > greedy_adjusted(P, X)
    X = Xr;
end
best = greedy_adjusted(P, X);
start_value = best;
spent = 0;
improved = true;
while improved && spent < budget
    improved = false;
    Q = (X ~= 0);
    Y = abs(times_c(P, X));
    Y(Q) = -Inf;
    on = find(Q);
    [~, o] = sort(abs(X(on)));
    on = on(o);
    [~, off] = sort(Y(:), 'descend');
    off = off(1:min(12, sum(~Q(:))));
    counts = sum(Q, 1);
    if (per && any(counts < goal)) || (~per && sum(counts) < goal)
        on = [0; on];          % a nonzero short of the count: try adding one first
    end
    for e = on'
        ke = 0;
        if e > 0
            [~, ke] = ind2sub([n r], e);
        end
        for f = off'
            [~, kf] = ind2sub([n r], f);
            if per && ((e > 0 && ke ~= kf) || (e == 0 && counts(kf) >= goal(kf)))
                continue;
            end
            Q2 = Q;
            if e > 0
                Q2(e) = false;
            end
            Q2(f) = true;
            if e > 0 && ~any(Q2(:, ke))
                continue;
            end
            spent = spent + 1;
            % A few rounds tell a good move from a bad one; the move kept
            % is re-fit in full.
            X2 = refit_best(P, X, Q2, 8);
            if ~isempty(X2) && norm(X2' * X2 - eye(r), 'fro') <= 1e-12
                value = greedy_adjusted(P, X2);
                if value > best * (1 + 1e-12)
                    X3 = refit_best(P, X2);
                    if greedy_adjusted(P, X3) >= value
                        X2 = X3;
                        value = greedy_adjusted(P, X3);
                    end
                    best = value;
                    X = X2;
                    improved = true;
                    break;
                end
            end
            if spent >= budget
                break;
            end
        end
        if improved || spent >= budget
            break;
        end
    end
end
gain = best - start_value;
end

function X = count_ascent(P, X, goal, per)
% Loadings with a given count of nonzeros, by truncated power steps: the
% pattern is where C*X is largest (goal(j) entries in column j, or goal
% entries in all with at least one per column), the loadings are re-fit on
% it, and this repeats while the adjusted variance grows. For one column it
% is the truncated power method with a full re-fit on each support. Empty
% when no pattern admits orthonormal loadings.
[n, r] = size(X);
best = -Inf;
found = [];
for it = 1:30
    Y = abs(times_c(P, X)) + 1e-12 * abs(X);
    Q = false(n, r);
    if per
        for j = 1:r
            [~, idx] = sort(Y(:, j), 'descend');
            Q(idx(1:goal(j)), j) = true;
        end
    else
        [~, top] = max(Y, [], 1);
        Q(sub2ind([n r], top, 1:r)) = true;
        rest = Y;
        rest(Q) = -Inf;
        [~, idx] = sort(rest(:), 'descend');
        Q(idx(1:goal - r)) = true;
    end
    Xn = refit_best(P, X, Q);
    if isempty(Xn) || norm(Xn' * Xn - eye(r), 'fro') > 1e-12
        break;
    end
    value = greedy_adjusted(P, Xn);
    if value <= best * (1 + 1e-12)
        break;
    end
    best = value;
    found = Xn;
    X = Xn;
end
X = found;
end

function value = greedy_adjusted(P, X)
% Adjusted variance with the columns in the order ARRANGE gives them.
value = measure(P, arrange(P, X, true)).adjusted;
end

function off = is_off(refit)
off = (islogical(refit) || isnumeric(refit)) && ~refit;
end

function v = option(opts, name, default)
v = orthopair_problem('option', opts, name, default);
end

%!test
%! % lambda = 0: the principal components themselves, and all the variance
%! % that PCA keeps with the same number of components.
%! C = cov(seeded_uniform(60, 8, 31));
%! [X, info] = sparse_pca(C, 3, 0);
%! [V, d] = eig((C + C') / 2);
%! [d, k] = sort(diag(d), 'descend');
%! assert(norm(X * X' - V(:, k(1:3)) * V(:, k(1:3))', 'fro') < 1e-10);
%! assert(abs(info.variance - sum(d(1:3))) < 1e-10 * sum(d(1:3)));
%! assert(norm(X' * X - eye(3), 'fro') < 1e-12);
%!test
%! % A weight leaves exact zeros, orthonormal columns, and the variance
%! % reported is trace(X'*C*X).
%! D = seeded_uniform(80, 12, 32) - 0.5;
%! D(:, 1:4) = D(:, 1:4) + 2 * D(:, 5);
%! [X, info] = sparse_pca(D, 2, 0.05);
%! C = cov(D);
%! assert(nnz(X) < numel(X));
%! assert(norm(X' * X - eye(2), 'fro') < 1e-12);
%! assert(abs(info.variance - trace(X' * C * X)) < 1e-10 * trace(C));
%!error id=sparse_pca:badR sparse_pca(eye(4), 5, 0.1)
%!error id=sparse_pca:badLambda sparse_pca(eye(4), 2, -1)
%!error id=sparse_pca:badOption sparse_pca(eye(4), 2, 0.1, struct('nosuch', 1))
