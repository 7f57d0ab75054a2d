function [X, info] = orthopair_solve(A, E, lambda, X0, opts)
% ORTHOPAIR_SOLVE  Minimise a quadratic plus weighted L1 norm over matrices with orthonormal columns.
%
%   [X, INFO] = ORTHOPAIR_SOLVE(A, E, LAMBDA, X0) solves
%
%       minimise   F(X) = 1/2*trace(X'*A*X) + <E, X> + sum_k LAMBDA(k)*norm(X(:, k), 1)
%       subject to X'*X = I,         X is n-by-r,
%
%   for a symmetric n-by-n A, an n-by-r matrix E ([] for none) and a weight
%   LAMBDA >= 0 (a scalar, or one weight per column). A is a real symmetric
%   matrix, full or sparse, or struct('D', D, 'scale', S) for A = S*D'*D
%   with D m-by-n (nothing n-by-n is formed). X0 is the start, n-by-r with
%   orthonormal columns (to 1e-8), or the number of columns r, in which case
%   the start is a seeded random orthonormal matrix (OPTS.seed). Sparse PCA
%   is A = -C, E = []; the L1-regularised orthogonal Procrustes problem is
%   A = M'*M, E = -M'*Y (see SPARSE_PCA and L1_PROCRUSTES). Every argument
%   and option is checked before any work; a bad one raises
%   orthopair_solve:<reason> (nargin, notRealDouble, sizes, notFinite,
%   notSymmetric, badA, notFeasible, negativeLambda, badOption, badPlot)
%   with a message naming it.
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
%   OPTS fields (all optional; [] means the default; ORTHOPAIR_RUN() returns
%   the native options with their defaults, types and ranges):
%     rule        'mixed' (default), 'zandrel', 'tolmiv', 'uniform',
%                 'sweep' or 'prox'. Only 'mixed' alternates pair passes
%                 and proximal steps until both conditions hold; the others
%                 are for studying one kind of step. 'zandrel', 'tolmiv',
%                 'uniform' and 'sweep' take pair steps only and end
%                 'stalled' where no pair helps yet (b) fails, which
%                 happens on problems whose solution no single pair step
%                 can reach; 'prox' takes proximal steps only and usually
%                 ends 'not_certified': its steps stall (gains below tol)
%                 before (b) reaches tol_stat or while a pair still gains.
%     max_iter    cap on pair steps plus proximal steps (1e8).
%     time_limit  seconds, counted from the call of ORTHOPAIR_SOLVE (Inf);
%                 kept to within one step.
%     target_f    stop ('target') once F <= target_f (-Inf).
%     tol         tolerance of condition (a) (1e-10).
%     tol_stat    tolerance of condition (b) (1e-6).
%     n_trials    pairs the selectors sample per step (n).
%     certify     false: end where the rule's own work ends, without the
%                 certificates (see ORTHOPAIR_RUN); stop 'not_certified'
%                 (true).
%     prox        allow proximal-gradient steps in 'mixed' (true).
%     seed        whole number in [0, 2^32): seeds the random start and the
%                 run's own generator of random pairs, so that a run is the
%                 same computation every time, and the C runtime's rand()
%                 is left alone (1).
%     verbose     true or false: print progress lines (false): the first
%                 within a second, then one every print_interval seconds
%                 and at the end of each phase, each with the time, the
%                 phase (prox, pass with pairs done of all, pairs), F and
%                 the relative stationarity where it was measured.
%     print_interval  seconds between progress points (2); also how often
%                 the callback is called and Ctrl-C is looked for.
%     print_every also a progress point every this many iterations; only
%                 with verbose (0: none).
%     callback    function handle, called as callback(INFO) at progress
%                 points with the INFO so far. The run stops ('callback')
%                 when it returns the logical true; any other value, a
%                 count from fprintf say, or no value at all lets it go on.
%                 An error inside it ends the run ('callback_error') with
%                 the best X so far; its message is in INFO.message and
%                 shown as the warning orthopair_run:callback_error.
%     plot        false (default), true, or a file name: draw F at each
%                 recorded point at the end (into the file when one is
%                 given; its folder must exist).
%
%   INFO fields: f, f0, stop, message, iterations, pair_steps, moves,
%   screened (pairs settled by their bound without a solve), sweeps,
%   prox_steps, time, pair_gap (condition (a)), stationarity (condition
%   (b), absolute) and stationarity_scale (max(1, norm(grad f, 'fro'))),
%   feasibility (norm(X'*X - I, 'fro')) and history (a struct of columns
%   recorded during the run). See ORTHOPAIR_RUN. INFO.stop is one of
%     'certified'      both conditions hold at X;
%     'not_certified'  the rule ended its work without both holding
%                      (always so with certify = false);
%     'stalled'        no step of the rule's kind lowers F any more;
%     'max_iter', 'time_limit', 'target';
%     'callback'       the callback returned true;
%     'callback_error' the callback raised an error (INFO.message);
%     'interrupted'    Ctrl-C.
%   Every stop returns the best X so far, feasible, with INFO.f = F(X).
%
%   Example:
%       C = cov(seeded_uniform(200, 40, 7));
%       [X, info] = orthopair_solve(-C, [], 0.3, 3, struct('verbose', true));
%       info.stop
%
%   See also SPARSE_PCA, L1_PROCRUSTES, ORTHOPAIR_POLISH, ORTHOPAIR_CERTIFY,
%   ORTHOPAIR_RUN, PAIR_SUBPROBLEM, BREVAK, ZANDREL, TOLMIV.

started = tic;
if nargin < 4 || nargin > 5
    error('orthopair_solve:nargin', ...
        'orthopair_solve: expected 4 or 5 inputs (A, E, lambda, X0[, opts]), got %d.', nargin);
end
if nargin < 5
    opts = [];
end
orthopair_problem('options', 'orthopair_solve', opts, {'seed', 'verbose', 'plot'});
if isempty(opts)
    opts = struct();
end
% The entries of A are checked by orthopair_run, in one pass over them.
[n, ~, ~, ~] = orthopair_problem('check', 'orthopair_solve', A, E, lambda, X0, 'X0', true);

seed = option(opts, 'seed', orthopair_problem('default', 'seed'));
verbose = option(opts, 'verbose', false) == 1;
plot_to = option(opts, 'plot', false);
if ~ischar(plot_to)
    plot_to = logical(plot_to);
end

% What the native loop takes (its table, but for the three set below),
% passed on as given.
run_opts = struct();
table = orthopair_run();
for name = setdiff({table.name}, {'verbose', 'seed', 'callback'}, 'stable')
    if isfield(opts, name{1}) && ~isempty(opts.(name{1}))
        run_opts.(name{1}) = opts.(name{1});
    end
end
run_opts.verbose = verbose;
run_opts.seed = double(seed);
callback = option(opts, 'callback', []);
if ~isempty(callback)
    run_opts.callback = @(info) guarded_callback(callback, info);
end

if isnumeric(X0) && isscalar(X0)
    X0 = random_orthonormal(n, double(X0), seed);
end
if isfield(run_opts, 'time_limit')
    % The limit counts from the call: what the set-up took is spent.
    run_opts.time_limit = max(0, run_opts.time_limit - toc(started));
end
try
    [X, info] = orthopair_run(A, E, lambda, X0, run_opts);
catch err
    % Everything but the entries of A was checked above: a refusal here is
    % about them, and is this function's to report.
    if strncmp(err.identifier, 'orthopair_run:', 14) && ~any(strcmp(err.identifier, ...
            {'orthopair_run:outOfMemory', 'orthopair_run:internal'}))
        error(['orthopair_solve:' err.identifier(15:end)], '%s', ...
            regexprep(err.message, '^orthopair_run: ', 'orthopair_solve: '));
    end
    rethrow(err);
end
info.time = toc(started);

if ischar(plot_to) || plot_to
    try
        plot_history(info, plot_to);
    catch err
        % The run's result is not lost to a picture that could not be made.
        warning('orthopair_solve:plotFailed', 'orthopair_solve: the picture was not made: %s', ...
            err.message);
    end
end
end

function value = option(opts, name, default)
value = default;
if isfield(opts, name) && ~isempty(opts.(name))
    value = opts.(name);
end
end

function out = guarded_callback(callback, info)
% Calls the user's callback with no output requested, so that callbacks
% without one work, and reads its value, if any, from ans. Only a logical
% true stops the run. An error inside it comes back as a struct that
% orthopair_run reads as the callback's error, with its own message.
out = false;
try
    callback(info);
    if exist('ans', 'var')
        out = islogical(ans) && isscalar(ans) && ans; %#ok<NOANS>
    end
catch err
    out = struct('callback_error', err.message);
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
% F at each recorded point, as markers only: the points between them were
% not measured, so no line joins them.
h = info.history;
if ~isfield(h, 'f') || isempty(h.f)
    return;
end
gap = h.f - min(h.f);
visible = 'on';
if ischar(plot_to)
    visible = 'off';
end
fig = figure('visible', visible);
semilogy(h.time, max(gap, eps * max(1, abs(info.f))), 'o');
xlabel('time [s]');
ylabel('F - min F over the recorded points');
title(sprintf('orthopair: %s, F = %.10g', info.stop, info.f));
grid on;
if ischar(plot_to)
    print(fig, plot_to, '-dpng');
    close(fig);
end
end

%!test
%! % Plain PCA (lambda = 0): the optimum is -1/2 times the sum of the r
%! % largest eigenvalues, and the run certifies it.
%! C = cov(seeded_uniform(50, 8, 21));
%! [X, info] = orthopair_solve(-C, [], 0, 3);
%! e = sort(eig(C), 'descend');
%! assert(strcmp(info.stop, 'certified'));
%! assert(info.f, -0.5 * sum(e(1:3)), 1e-9);
%! assert(norm(X' * X - eye(3), 'fro') < 1e-12);
%!test
%! % Every stop returns a feasible X and F(X); a callback's error is a stop.
%! C = cov(seeded_uniform(50, 8, 22));
%! F = @(X) -0.5 * trace(X' * C * X) + 0.2 * sum(abs(X(:)));
%! warning('off', 'orthopair_run:callback_error', 'local');
%! for o = {struct('max_iter', 3), struct('time_limit', 0), struct('certify', false), ...
%!          struct('callback', @(info) error('mine:own', 'stop here'))}
%!   [X, info] = orthopair_solve(-C, [], 0.2, 2, o{1});
%!   assert(norm(X' * X - eye(2), 'fro') < 1e-12);
%!   assert(info.f, F(X), 1e-12 * max(1, abs(info.f)));
%! end
%! assert(info.stop, 'callback_error');
%! assert(info.message, 'stop here');
%!error id=orthopair_solve:nargin orthopair_solve(eye(3), [], 0)
%!error id=orthopair_solve:badOption orthopair_solve(eye(3), [], 0, 1, struct('verbose', 'yes'))
%!error id=orthopair_solve:badPlot orthopair_solve(eye(3), [], 0, 1, struct('plot', fullfile(tempdir, 'no such folder', 'f.png')))
