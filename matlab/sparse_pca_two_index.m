function [X, history] = sparse_pca_two_index(C, r, opts)
% SPARSE_PCA_TWO_INDEX  Sparse PCA on the orthogonality constraint, two rows at a time.
%
%   [X, HISTORY] = SPARSE_PCA_TWO_INDEX(C, R, OPTS) minimises
%
%       F(X) = -1/2 * trace(X' * C * X) + lambda * sum(abs(X(:)))
%
%   over n-by-R matrices X with X' * X = I, for a symmetric n-by-n matrix C
%   (typically a covariance matrix). With lambda = 0 the minimum is
%   -1/2 * (sum of the R largest eigenvalues of C), reached by any
%   orthonormal basis of the leading eigenvectors; lambda > 0 trades
%   explained variance for exact zeros in X.
%
%   The method. Every iteration picks two rows i, j of X and replaces them by
%   V * X([i j], :) with a 2-by-2 orthogonal V (a rotation or a reflection).
%   Left-multiplying X by an orthogonal matrix keeps X' * X = I, so every
%   iterate is feasible without any projection or retraction.
%     1. Pair choice. With A = X' and B = H', whose columns belong to the
%        rows of X:
%          'tolmiv'  - the sampled pair with the largest |g(i,j)|,
%                      g(i,j) = <x_i, b_j> - <b_i, x_j>: the rate of change
%                      of F under a small rotation of rows i, j;
%          'zandrel' - the sampled pair with the most negative first-order
%                      change of F over all 2-by-2 orthogonal V.
%        H is the entrywise least-norm subgradient of F: grad f(X) = -C*X
%        plus lambda*sign(X) where X ~= 0, and the gradient soft-thresholded
%        by lambda where X == 0. For lambda = 0 it is the gradient. With it
%        |g(i,j)| is an upper bound of the true decrease rate of F along
%        the rotation of rows i, j (see PAIR_STATIONARITY): a pair that
%        scores 0 cannot be improved locally, so no improvable pair is ever
%        scored 0. (Plain sign(X) with sign(0) = 0 also gives a bound but
%        ignores the kinks; grad f alone can score an improvable pair 0.)
%        The bound is not tight: a zero entry that a rotation would make
%        nonzero costs lambda*|other entry| in both directions, which no
%        linear score can express, so with lambda > 0 a selector may keep
%        drawing pairs that cannot improve. BREVAK then returns V = I and
%        nothing changes; 'zandrel' meets this less often than 'tolmiv'.
%     2. Subproblem. f is quadratic, so its change under the step is
%        exactly 1/2*vec(V)'*Q*vec(V) + <G, V> + const (see
%        PAIR_ROTATION_MODEL), and the L1 term changes by
%        lambda*(||V*Z||_1 - ||Z||_1) with Z = X([i j], :). BREVAK returns the
%        global minimiser over O(2). V = I is always among its candidates, so
%        no step increases F (up to rounding).
%     3. Update. X([i j], :) = V * Z, and C*X changes by C(:, [i j]) * dZ,
%        so one iteration costs O(n*r) (plus BREVAK's O(r^2)). C*X is
%        recomputed from scratch at every check to stop rounding drift.
%   Entries of V*Z below the rounding level (8*eps times the larger of 1
%   and |z1k| + |z2k|) are set to exact zeros when lambda > 0: those are the
%   kinks of the L1 term that BREVAK aims at, and exact zeros make the
%   sparsity, and the kink terms of the stationarity measure, well defined.
%
%   OPTS fields (all optional):
%     lambda       weight of the L1 term, >= 0.                    [0]
%     rule         'zandrel' or 'tolmiv'.                          ['zandrel']
%     n_trials     pairs sampled per iteration; at most n are
%                  ever scored.                                    [n]
%     max_iter     iteration cap.                                  [500*n]
%     tol          stop once the stationarity measure (see
%                  PAIR_STATIONARITY) is <= tol * norm(C, 1).      [1e-8]
%     zero_tol     entries with |x| <= zero_tol count as zeros in
%                  the stationarity measure (lambda > 0): an entry
%                  of 1e-9 on its way to zero is a kink for all
%                  purposes. X itself is not changed.              [1e-8]
%     ftol         stop once F decreased by no more than
%     stall_iter   ftol * max(|F|, norm(C, 1)) over the last
%                  stall_iter iterations (stalled); stall_iter is
%                  rounded up to a multiple of check_every.        [1e-14, 10*check_every]
%     check_every  iterations between checks of the two tests
%                  above (a check costs O(n^2*r) at most).         [n]
%     seed         seed of the random orthonormal starting point.  [1]
%     X0           explicit starting point, n-by-R with
%                  X0' * X0 = I (to 1e-10); overrides seed.        []
%     verbose      print progress lines and a final line.          [false]
%     print_every  iterations between progress lines; rounded up
%                  to a multiple of check_every.                   [10*check_every]
%
%   The starting point is the orthonormal factor of the QR factorisation of
%   an n-by-R matrix of uniform numbers in (-1/2, 1/2) drawn from
%   SEEDED_UNIFORM(n, R, seed), with signs fixed so that R's diagonal is
%   positive; it is the same in MATLAB and Octave. The pair selectors draw
%   their samples from the C runtime's generator inside the MEX-files, which
%   this function does not seed.
%
%   HISTORY fields:
%     objective     F at iterations 0, 1, ..., iterations (column).
%     pairs         iterations-by-2, the rows chosen at each iteration.
%     check_iter    iterations at which the checks ran: 0, every
%                   check_every-th, and the last.
%     stationarity  the stationarity measure at those iterations.
%     feasibility   norm(X'*X - I, 'fro') at those iterations.
%     check_time    seconds since the start at those iterations.
%     iterations, stop_reason ('converged', 'stalled' or 'max_iter'),
%     elapsed (seconds), lambda, rule, n_trials, scale (= norm(C, 1)).
%
%   Requires the MEX-files brevak and tolmiv or zandrel on the path.
%
%   See also PAIR_ROTATION_MODEL, PAIR_STATIONARITY, SEEDED_UNIFORM.

t_start = tic;

% ---- arguments -------------------------------------------------------------
if nargin < 2
    error('sparse_pca_two_index:nargin', ...
        'Call as sparse_pca_two_index(C, r) or sparse_pca_two_index(C, r, opts).');
end
if nargin < 3 || isempty(opts)
    opts = struct();
end
[C, scale] = check_matrix(C);
n = size(C, 1);
if ~isnumeric(r) || ~isscalar(r) || ~isreal(r) || r ~= fix(r) || r < 1 || r > n
    error('sparse_pca_two_index:badRank', 'r must be an integer with 1 <= r <= n (n = %d).', n);
end
r = double(r);
o = read_options(opts, n);
X = start_point(o, n, r);
for name = {'brevak', o.rule}
    if ~exist(name{1}, 'file')
        error('sparse_pca_two_index:noMex', ...
            'The MEX-file %s is not on the path (build it and addpath its folder).', name{1});
    end
end

% ---- state -----------------------------------------------------------------
% Rows of X are stored as the columns of Xt = X' so that a row pair is two
% contiguous columns, and the selectors see them as columns directly.
Xt = X';
CXt = Xt * C;                          % (C*X)' since C is symmetric
h = new_history(o.max_iter, o.check_every);
h.objective(1) = full_objective(Xt, CXt, o.lambda);
if o.verbose
    fprintf('sparse PCA by two-row steps: n = %d, r = %d, lambda = %g, rule = %s, %d pairs per step\n', ...
        n, r, o.lambda, o.rule, o.n_sample);
    fprintf('%9s  %22s  %12s  %10s  %9s\n', 'iteration', 'objective', 'stationarity', '|X''X - I|', 'time [s]');
end

stop_reason = 'max_iter';
iter = 0;
while true
    % ---- check: stationarity, stall, progress (and always at the end) ----
    if mod(iter, o.check_every) == 0 || iter >= o.max_iter
        if iter > 0
            CXt = Xt * C;              % drop the drift of the rank-2 updates
            h.objective(iter + 1) = full_objective(Xt, CXt, o.lambda);
        end
        [h, stop] = check_point(h, iter, Xt, CXt, o, scale, t_start);
        if ~isempty(stop)
            stop_reason = stop;
            break;
        end
    end
    if iter >= o.max_iter
        break;
    end
    iter = iter + 1;
    [Xt, CXt, h.pairs(iter, :)] = two_row_step(Xt, CXt, C, o);
    h.objective(iter + 1) = full_objective(Xt, CXt, o.lambda);
end

X = Xt';
k = h.n_checks;
history = struct('objective', h.objective(1:iter + 1), 'pairs', h.pairs(1:iter, :), ...
    'check_iter', h.check_iter(1:k), 'stationarity', h.stationarity(1:k), ...
    'feasibility', h.feasibility(1:k), 'check_time', h.check_time(1:k), ...
    'iterations', iter, 'stop_reason', stop_reason, 'elapsed', toc(t_start), ...
    'lambda', o.lambda, 'rule', o.rule, 'n_trials', o.n_sample, 'scale', scale);
if o.verbose
    if mod(iter, o.print_every) ~= 0
        print_line(iter, h.objective(iter + 1), h.stationarity(k), h.feasibility(k), history.elapsed);
    end
    fprintf('stopped after %d iterations (%s) in %.2f s\n', iter, stop_reason, history.elapsed);
end
end

% ---------------------------------------------------------------------------
function [C, scale] = check_matrix(C)
% C as a full symmetric double matrix, and norm(C, 1) (1 for C = 0), the
% scale of the stopping tests.
if ~isnumeric(C) || ~ismatrix(C) || size(C, 1) ~= size(C, 2) || isempty(C)
    error('sparse_pca_two_index:badC', 'C must be a non-empty square numeric matrix.');
end
if ~isreal(C) || ~all(isfinite(C(:)))
    error('sparse_pca_two_index:badC', 'C must be real with finite entries.');
end
C = full(double(C));
n = size(C, 1);
scale = norm(C, 1);
asym = norm(C - C', 1);
if asym > 1e-12 * max(scale, realmin)
    error('sparse_pca_two_index:badC', ...
        'C must be symmetric (relative asymmetry %.3g).', asym / max(scale, realmin));
end
C = 0.5 * (C + C');
if scale == 0
    scale = 1;
end
if n < 2
    error('sparse_pca_two_index:badC', 'C must be at least 2-by-2: a step works on two rows.');
end
if n > 32768
    error('sparse_pca_two_index:tooLarge', ...
        'The pair selectors can draw row indices up to 32768 only; n = %d.', n);
end
end

function o = read_options(opts, n)
% The options with their defaults for a C of size n, each checked.
if ~isstruct(opts) || numel(opts) ~= 1
    error('sparse_pca_two_index:badOpts', 'opts must be a scalar struct.');
end
known = {'lambda', 'rule', 'n_trials', 'max_iter', 'tol', 'zero_tol', 'ftol', 'stall_iter', 'check_every', ...
    'seed', 'X0', 'verbose', 'print_every'};
given = fieldnames(opts);
for k = 1:numel(given)
    if ~any(strcmp(given{k}, known))
        error('sparse_pca_two_index:unknownOption', ...
            'Unknown option ''%s''. Known options: %s.', given{k}, strjoin(known, ', '));
    end
end
o.lambda = get_option(opts, 'lambda', 0);
check_scalar(o.lambda, 'lambda', 'badLambda', 0, Inf, false);
o.rule = get_option(opts, 'rule', 'zandrel');
if ~ischar(o.rule) || ~any(strcmp(o.rule, {'zandrel', 'tolmiv'}))
    error('sparse_pca_two_index:badRule', 'rule must be ''zandrel'' or ''tolmiv''.');
end
% name, default, error identifier, least value, whole number
numbers = {'n_trials', n, 'badTrials', 1, true; ...
    'max_iter', 500 * n, 'badMaxIter', 0, true; ...
    'tol', 1e-8, 'badTol', 0, false; ...
    'zero_tol', 1e-8, 'badTol', 0, false; ...
    'ftol', 1e-14, 'badTol', 0, false; ...
    'check_every', n, 'badCheckEvery', 1, true};
for k = 1:size(numbers, 1)
    [name, default, id, lo, integer] = numbers{k, :};
    o.(name) = get_option(opts, name, default);
    check_scalar(o.(name), name, id, lo, Inf, integer);
end
o.stall_iter = get_option(opts, 'stall_iter', 10 * o.check_every);
check_scalar(o.stall_iter, 'stall_iter', 'badStallIter', 1, Inf, true);
o.stall_iter = o.check_every * ceil(o.stall_iter / o.check_every);
o.seed = get_option(opts, 'seed', 1);
check_scalar(o.seed, 'seed', 'badSeed', -Inf, Inf, true);
o.verbose = get_option(opts, 'verbose', false);
if ~(islogical(o.verbose) || isnumeric(o.verbose)) || ~isscalar(o.verbose)
    error('sparse_pca_two_index:badVerbose', 'verbose must be true or false.');
end
o.verbose = logical(o.verbose);
o.print_every = get_option(opts, 'print_every', 10 * o.check_every);
check_scalar(o.print_every, 'print_every', 'badPrintEvery', 1, Inf, true);
o.print_every = o.check_every * ceil(o.print_every / o.check_every);
o.X0 = get_option(opts, 'X0', []);
% The selectors score at most n pairs however many are asked for, and take
% the count as a 32-bit integer: pass the effective count.
o.n_sample = min(o.n_trials, n);
end

function X = start_point(o, n, r)
% OPTS.X0, checked, or the seeded random orthonormal start.
if isempty(o.X0)
    X = random_orthonormal(n, r, o.seed);
    return;
end
if ~isnumeric(o.X0) || ~isreal(o.X0) || ~isequal(size(o.X0), [n r]) || ~all(isfinite(o.X0(:)))
    error('sparse_pca_two_index:badX0', 'X0 must be a real finite %d-by-%d matrix.', n, r);
end
X = full(double(o.X0));
if norm(X' * X - eye(r), 'fro') > 1e-10
    error('sparse_pca_two_index:badX0', 'X0 must have orthonormal columns (X0''*X0 = I).');
end
end

function h = new_history(max_iter, check_every)
% Room for every iteration's F and pair, and for every check.
max_checks = floor(max_iter / check_every) + 2;
h = struct('objective', zeros(max_iter + 1, 1), 'pairs', zeros(max_iter, 2), ...
    'check_iter', zeros(max_checks, 1), 'stationarity', zeros(max_checks, 1), ...
    'feasibility', zeros(max_checks, 1), 'check_time', zeros(max_checks, 1), 'n_checks', 0);
end

function [h, stop] = check_point(h, iter, Xt, CXt, o, scale, t_start)
% Records a check at iteration ITER (h.objective(ITER + 1) already holds F
% there) and prints a progress line when one is due. STOP is 'converged' or
% 'stalled' when that test is met, else ''.
k = h.n_checks + 1;
h.n_checks = k;
h.check_iter(k) = iter;
h.stationarity(k) = pair_stationarity(Xt, CXt, o.lambda, o.zero_tol);
h.feasibility(k) = norm(Xt * Xt' - eye(size(Xt, 1)), 'fro');
h.check_time(k) = toc(t_start);
if o.verbose && mod(iter, o.print_every) == 0
    print_line(iter, h.objective(iter + 1), h.stationarity(k), h.feasibility(k), h.check_time(k));
end
stop = '';
if h.stationarity(k) <= o.tol * scale
    stop = 'converged';
elseif iter >= o.stall_iter
    drop = h.objective(iter - o.stall_iter + 1) - h.objective(iter + 1);
    if drop <= o.ftol * max(abs(h.objective(iter + 1)), scale)
        stop = 'stalled';
    end
end
end

function [Xt, CXt, P] = two_row_step(Xt, CXt, C, o)
% One iteration: the pair P = [i j] of rows, the best V over O(2) for it,
% and the update of X' and (C*X)'.
[r, n] = size(Xt);
% ---- pair choice -----------------------------------------------------
Bt = pseudo_gradient(Xt, CXt, o.lambda);
if strcmp(o.rule, 'tolmiv')
    p = tolmiv(Xt, Bt, n, r, o.n_sample);
else
    p = zandrel(Xt, Bt, n, r, o.n_sample);
end
i = p(1);
j = p(2);
if ~(i >= 1 && i <= n && j >= 1 && j <= n && i ~= j && i == fix(i) && j == fix(j))
    error('sparse_pca_two_index:badPair', 'The pair selector returned an invalid pair [%g; %g].', i, j);
end
P = [i j];

% ---- subproblem over O(2) ------------------------------------------
Zt = Xt(:, P);
[Q, G] = pair_rotation_model(C(P, P), Zt, CXt(:, P));
V = brevak(Q, G, o.lambda, Zt(:, 1), Zt(:, 2), r);
if ~all(isfinite(V(:)))
    error('sparse_pca_two_index:badStep', 'brevak returned a non-finite V at rows %d, %d.', i, j);
end
% V = [c s; -s c] or [-c s; s c] is orthogonal exactly when c^2 + s^2 = 1,
% which the solver meets only to rounding, and the error has a bias: left
% alone it would make X'X - I grow linearly with the number of steps.
% delta = c^2 + s^2 - 1 is formed with the squares split into exact
% two-term sums (Dekker), and one Newton step V <- V * (1 - delta/2)
% takes V to the nearest doubles of the orthogonal matrix, whose residual
% is unbiased rounding. Plain division by sqrt(c^2 + s^2) is not enough:
% its rounding is biased as well.
delta = unit_defect(V(1, 1), V(2, 1));
if delta ~= 0
    V = V - V * (0.5 * delta);
end

% ---- update ----------------------------------------------------------
% An entry of V*Z whose size is below the rounding error of forming it,
% 8*eps*(|z1k| + |z2k|), is zero for all the arithmetic can tell. So is an
% entry below 8*eps in absolute value: the columns of X have unit norm, so it
% sits below the rounding level of every sum that it enters. With lambda > 0
% such entries are set to exact zeros; they are where BREVAK places the kinks
% of the L1 term, and slightly-off zeros would otherwise linger at 1e-17 and
% hide the kinks from the pair scores and the stationarity measure.
Yt = Zt * V';                          % (V * Z)'
if o.lambda > 0
    level = (8 * eps) * max(abs(Zt(:, 1)) + abs(Zt(:, 2)), 1);
    Yt(abs(Yt) <= [level level]) = 0;
end
Dt = Yt - Zt;
Xt(:, P) = Yt;
CXt = CXt + Dt * C(P, :);              % (C * X)' changes by dZ' * C(P, :)
end

function value = full_objective(Xt, CXt, lambda)
% F(X) = -1/2 <X, C*X> + lambda * ||X||_1, from the stored X' and (C*X)'.
value = -0.5 * sum(sum(Xt .* CXt));
if lambda ~= 0
    value = value + lambda * sum(abs(Xt(:)));
end
end

function Bt = pseudo_gradient(Xt, CXt, lambda)
% Entrywise least-norm subgradient of F, transposed: grad f + lambda*sign(x)
% where x ~= 0, and the soft-thresholded gradient sign(g)*max(|g| - lambda, 0)
% where x == 0 (g = grad f = -C*X).
Bt = -CXt;
if lambda ~= 0
    zero_mask = (Xt == 0);
    Bt = Bt + lambda * sign(Xt);
    if any(zero_mask(:))
        gz = Bt(zero_mask);
        Bt(zero_mask) = sign(gz) .* max(abs(gz) - lambda, 0);
    end
end
end

function delta = unit_defect(a, b)
% a^2 + b^2 - 1, accurate to about eps^2: each square is split exactly into
% p + e (Veltkamp's splitting, no fused multiply-add needed), the large parts
% are combined first (p_a - 1 is exact for p_a in [1/2, 2]) and the small
% ones added after.
split = 134217729;                     % 2^27 + 1
pa = a * a;
t = split * a;
ah = t - (t - a);
al = a - ah;
ea = ((ah * ah - pa) + 2 * ah * al) + al * al;
pb = b * b;
t = split * b;
bh = t - (t - b);
bl = b - bh;
eb = ((bh * bh - pb) + 2 * bh * bl) + bl * bl;
delta = ((pa - 1) + pb) + (ea + eb);
end

function X = random_orthonormal(n, r, seed)
% Orthonormal factor of a seeded uniform matrix, made unique by a positive
% diagonal of the triangular factor.
M = seeded_uniform(n, r, seed) - 0.5;
[X, R] = qr(M, 0);
d = sign(diag(R));
d(d == 0) = 1;
X = X .* repmat(d', n, 1);
end

function value = get_option(opts, name, default)
value = orthopair_problem('option', opts, name, default);
end

function check_scalar(value, name, id, lo, hi, integer)
ok = isnumeric(value) && isscalar(value) && isreal(value) && ~isnan(value) ...
    && value >= lo && value <= hi;
if ok && integer
    ok = isfinite(value) && value == fix(value);
end
if ~ok
    if integer
        kind = 'an integer';
    else
        kind = 'a number';
    end
    error(['sparse_pca_two_index:' id], '%s must be %s in [%g, %g].', name, kind, lo, hi);
end
end

function print_line(iter, value, stat, feas, elapsed)
fprintf('%9d  %22.15e  %12.4e  %10.2e  %9.2f\n', iter, value, stat, feas, elapsed);
end

%!test
%! % Feasible, and F never rises along the iterations.
%! C = cov(seeded_uniform(40, 6, 7));
%! [X, history] = sparse_pca_two_index(C, 2, struct('lambda', 0.05, 'max_iter', 200));
%! assert(norm(X' * X - eye(2), 'fro') < 1e-10);
%! assert(all(diff(history.objective) <= 1e-12));
