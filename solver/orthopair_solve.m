function [X, info] = orthopair_solve(A, E, lambda, X0, opts)
% ORTHOPAIR_SOLVE  Minimise a quadratic plus weighted L1 norm over matrices with orthonormal columns.
%
%   [X, INFO] = ORTHOPAIR_SOLVE(A, E, LAMBDA, X0) solves
%
%       minimise   F(X) = 1/2*trace(X'*A*X) + <E, X> + sum_k LAMBDA(k)*norm(X(:, k), 1)
%       subject to X'*X = I,         X is n-by-r,
%
%   for a symmetric n-by-n matrix A, an n-by-r matrix E ([] for none) and a
%   weight LAMBDA >= 0 (a scalar, or one weight per column). X0 is the start,
%   n-by-r with orthonormal columns, or the number of columns r, in which
%   case the start is a seeded random orthonormal matrix (OPTS.seed).
%   Sparse PCA is A = -C, E = []; the L1-regularised orthogonal Procrustes
%   problem is A = M'*M, E = -M'*Y (see SPARSE_PCA and L1_PROCRUSTES).
%
%   The method works two rows at a time: a step replaces rows i and j of X
%   by V*X([i j], :) with the best 2-by-2 orthogonal V (BREVAK, exact over
%   all rotations and reflections), which keeps X'*X = I by construction.
%   Pairs are chosen by the selectors TOLMIV and ZANDREL, drawn uniformly, or
%   swept through all n*(n-1)/2 in turn; when no pair helps any more, a
%   proximal-gradient step on the manifold moves many rows at once. The
%   iteration runs natively (the MEX-file ORTHOPAIR_RUN) and stops
%   'certified' only when both of these hold:
%     (a) a full pass over all pairs finds none whose exact step lowers F
%         by more than OPTS.tol*max(1, |F|), and
%     (b) the first-order stationarity measure (the norm of the least-norm
%         element of the projected subdifferential, see ORTHOPAIR_CERTIFY) is
%         at most OPTS.tol_stat*max(1, norm(grad f(X), 'fro')).
%   Neither implies the other when LAMBDA > 0.
%
%   OPTS fields (all optional):
%     rule        'mixed' (default), 'zandrel', 'tolmiv', 'uniform',
%                 'sweep' or 'prox'.
%     max_iter    cap on pair steps plus proximal steps.
%     time_limit  seconds (Inf).
%     target_f    stop ('target') once F <= target_f (-Inf).
%     tol         tolerance of condition (a) (1e-10).
%     tol_stat    tolerance of condition (b) (1e-6).
%     n_trials    pairs the selectors sample per step (n).
%     prox        allow proximal-gradient steps in 'mixed' (true).
%     seed        seeds the random start and the C generator that the
%                 pair selectors draw from, so that a run is the same
%                 computation every time (1).
%     verbose     print progress lines (false).
%     print_every iterations between progress lines (when verbose).
%     callback    function handle called at progress points with the
%                 INFO so far; return true to stop ('callback').
%     plot        true, or a file name: draw the history of F at the end
%                 (to the file when one is given).
%
%   INFO fields: f, f0, stop ('certified', 'max_iter', 'time_limit',
%   'target', 'callback', 'stalled'), iterations, pair_steps, moves,
%   screened (pairs settled by their bound without a solve), sweeps,
%   prox_steps, time, pair_gap (condition (a)), stationarity (condition
%   (b), absolute) and stationarity_scale (max(1, norm(grad f, 'fro'))),
%   feasibility (norm(X'*X - I, 'fro')) and history (a struct of columns
%   recorded during the run). See ORTHOPAIR_RUN.
%
%   Example:
%       C = cov(randn(200, 40));
%       [X, info] = orthopair_solve(-C, [], 0.3, 3, struct('verbose', true));
%
%   See also SPARSE_PCA, L1_PROCRUSTES, ORTHOPAIR_POLISH, ORTHOPAIR_CERTIFY,
%   PAIR_SUBPROBLEM, BREVAK, ZANDREL, TOLMIV.

if nargin < 4
    error('orthopair_solve:nargin', 'Call as orthopair_solve(A, E, lambda, X0) or with opts.');
end
if nargin < 5 || isempty(opts)
    opts = struct();
end
if ~isstruct(opts) || numel(opts) ~= 1
    error('orthopair_solve:badOption', 'opts must be a scalar struct.');
end
if ~isnumeric(A) || ~ismatrix(A) || size(A, 1) ~= size(A, 2)
    error('orthopair_solve:badA', 'A must be a square numeric matrix.');
end
n = size(A, 1);

seed = 1;
if isfield(opts, 'seed') && ~isempty(opts.seed)
    seed = opts.seed;
    if ~isnumeric(seed) || ~isscalar(seed) || ~isreal(seed) || seed < 0 ...
            || seed ~= fix(seed) || seed >= 2^32
        error('orthopair_solve:badOption', 'seed must be an integer in [0, 2^32).');
    end
end
if isnumeric(X0) && isscalar(X0)
    r = X0;
    if ~isreal(r) || r ~= fix(r) || r < 1 || r > n
        error('orthopair_solve:badX0', 'r must be an integer with 1 <= r <= n (n = %d).', n);
    end
    X0 = random_orthonormal(n, double(r), seed);
end

verbose = isfield(opts, 'verbose') && ~isempty(opts.verbose) && logical(opts.verbose);
plot_to = [];
if isfield(opts, 'plot') && ~isempty(opts.plot)
    plot_to = opts.plot;
end
% What the native loop takes, passed on as given; it checks every value.
run_opts = struct();
for name = {'rule', 'max_iter', 'time_limit', 'target_f', 'tol', 'tol_stat', 'n_trials', ...
        'prox', 'callback', 'print_every'}
    if isfield(opts, name{1}) && ~isempty(opts.(name{1}))
        run_opts.(name{1}) = opts.(name{1});
    end
end
if verbose
    if ~isfield(run_opts, 'print_every')
        run_opts.print_every = max(10000, n * (n - 1) / 2);
    end
else
    run_opts.print_every = 0;
end
known = {'rule', 'max_iter', 'time_limit', 'target_f', 'tol', 'tol_stat', 'n_trials', ...
    'prox', 'callback', 'print_every', 'seed', 'verbose', 'plot'};
given = fieldnames(opts);
for k = 1:numel(given)
    if ~any(strcmp(given{k}, known))
        error('orthopair_solve:badOption', 'Unknown option ''%s''. Known options: %s.', ...
            given{k}, strjoin(known, ', '));
    end
end

orthopair_seed(seed);
[X, info] = orthopair_run(A, E, lambda, X0, run_opts);

if ~isempty(plot_to)
    plot_history(info, plot_to);
end
end

function X = random_orthonormal(n, r, seed)
% Orthonormal factor of a seeded uniform matrix, made unique by a positive
% diagonal of the triangular factor; the same in MATLAB and Octave.
M = seeded_uniform(n, r, seed + 1) - 0.5;
[X, R] = qr(M, 0);
d = sign(diag(R));
d(d == 0) = 1;
X = X .* repmat(d', n, 1);
end

function plot_history(info, plot_to)
h = info.history;
if ~isfield(h, 'f') || isempty(h.f)
    return;
end
gap = h.f - min(h.f);
fig = figure('visible', ischar(plot_to) == 0);
semilogy(h.time, max(gap, eps * max(1, abs(info.f))), '-');
xlabel('time [s]');
ylabel('F - min F');
title(sprintf('orthopair: %s, F = %.10g', info.stop, info.f));
grid on;
if ischar(plot_to)
    print(fig, plot_to, '-dpng');
    close(fig);
end
end
