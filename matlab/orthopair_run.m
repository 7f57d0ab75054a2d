%ORTHOPAIR_RUN  Minimise a quadratic-plus-L1 function of X with X'*X = I, natively.
%   [X, INFO] = ORTHOPAIR_RUN(A, E, LAMBDA, X0, OPTS) minimises
%
%       F(X) = 1/2*trace(X'*A*X) + sum(sum(E.*X)) + sum_j LAMBDA(j)*norm(X(:,j), 1)
%
%   over n-by-r matrices X with orthonormal columns, starting from X0, by
%   two kinds of steps run in native code:
%     - pair steps: rows i, j of X are replaced by V*X([i j], :) with the
%       best 2-by-2 rotation or reflection V for the exact change of F
%       (the BREVAK subproblem); X stays feasible by construction;
%     - proximal-gradient steps on the manifold (ManPG): the tangent step
%       that minimises <grad f, V> + ||V||^2/(2t) + h(X + V), found by
%       semi-smooth Newton on its symmetric multiplier, then the polar
%       retraction with a backtracking line search; exact zeros made by the
%       soft threshold are kept exact.
%   A*X (or D*X, below) is kept up to date by rank-2 changes and recomputed
%   every so often.
%
%   A comes in three forms:
%     - a dense real symmetric n-by-n matrix (symmetric to 1e-12*max|A|;
%       its symmetric part is used);
%     - a sparse real symmetric n-by-n matrix (the same test; products cost
%       nnz(A)*r);
%     - struct('D', D, 'scale', s) for A = s*D'*D, with D a real full m-by-n
%       matrix (any m >= 1; m much smaller than n is the point) and s a
%       real finite nonzero scalar. Nothing n-by-n is formed: memory is
%       O(m*n + n*r) and a product costs about 2*m*n*r.
%
%   Examples of the class: sparse PCA of centred data Dc (rows = samples)
%   is A = struct('D', Dc, 'scale', -s), E = [] (or A = -C for a covariance
%   matrix C); L1-regularised orthogonal Procrustes, min 1/2*||M*X - Y||^2 +
%   lambda*||X||_1, is A = struct('D', M, 'scale', 1), E = -M'*Y.
%
%   Inputs: A in one of the forms above, n = size(A, 1) or size(D, 2),
%   E n-by-r or [], LAMBDA a scalar or r weights (finite, >= 0), X0 n-by-r
%   with X0'*X0 = I to 1e-8, n >= 2, 1 <= r <= n.
%
%   OPTS fields (all optional):
%     rule        'mixed' (default): prox steps until the gradient mapping
%                 ||V||/t is within tol_stat (confirmed by measure (b)) or
%                 the gains still to come fall below tol/100, then full
%                 passes over all pairs until one takes no step above tol,
%                 then the stationarity check; rounds repeat until both
%                 certificates hold. 'zandrel', 'tolmiv' (greedy selectors
%                 on X' and the least-norm subgradient), 'uniform' (random
%                 pairs), 'sweep' (cyclic passes), 'prox' (prox steps only);
%                 the pair rules may end 'stalled', 'prox' 'not_certified'
%                 (see ORTHOPAIR_SOLVE).
%     max_iter    cap on pair steps + prox steps                  [1e8]
%     time_limit  seconds from the call, kept within one step     [Inf]
%     target_f    stop ('target') once F <= target_f              [-Inf]
%     tol         certificate (a): a full pass finds no pair whose exact
%                 step lowers F by more than tol*max(1, |F|)       [1e-10]
%     tol_stat    certificate (b): the first-order measure is at most
%                 tol_stat*max(1, ||grad f||_F)                    [1e-6]
%     n_trials    pairs drawn per greedy step                      [n]
%     certify     false: stop ('not_certified') where the rule's own
%                 work ends, without the certificates: 'mixed' and
%                 'sweep' after a pass in which no pair gains above
%                 tol; the greedy rules once n steps together gain at
%                 most tol, with no pass; 'prox' once its prox steps
%                 end                                              [true]
%     prox        false: no prox steps in 'mixed'                  [true]
%     seed        whole number in [0, 2^32): seeds the run's own
%                 generator of random pairs; the same seed, the same
%                 run                                              [1]
%     verbose     print a progress line at every progress point: the
%                 time, the phase ('prox', 'pass' with pairs done of all,
%                 'pairs'), F, moves, prox steps, the relative
%                 stationarity and the pair gap where measured     [false]
%     print_interval  seconds between progress points (the first comes
%                 within a second; more at the end of every phase); also
%                 how often the callback runs and Ctrl-C is looked for [2]
%     print_every also a progress point every so many iterations,
%                 printed (as with verbose); 0 = none              [0]
%     callback    function handle, called as v = f(info_so_far) at the
%                 progress points; only a logical true v stops the run
%                 ('callback'). An error inside it ends the run
%                 ('callback_error', warning orthopair_run:callback_error);
%                 the callback must return a value here (ORTHOPAIR_SOLVE
%                 takes any callback and keeps its error's message).
%   TABLE = ORTHOPAIR_RUN() returns these options with their defaults,
%   types and ranges.
%
%   The first-order measure (b) is min over symmetric L and over the L1
%   subdifferential of ||grad f(X) + xi - X*L||_F, with the subdifferential
%   taken exactly (sign(x) where x ~= 0, the interval [-1, 1] where x == 0),
%   computed by semi-smooth Newton.
%
%   INFO fields: f, stop (below), message (what ended the run, in words;
%   the callback's own message after 'callback_error'), iterations, pair_steps, moves (pair steps
%   taken), screened (pairs of full passes settled by a bound without the
%   2-by-2 solve, one by one or in groups), sweeps, prox_steps, time,
%   pair_gap (an upper bound of the relative gain of every pair at the last
%   full pass: the largest gain solved and the largest bound that settled a
%   pair), stationarity and stationarity_scale (measure (b) and
%   max(1, ||grad f||_F) at the end), stationarity_converged (true when the
%   measure's own Newton iteration converged, so that it is the exact
%   minimum and not only an upper bound of it), feasibility (||X'*X - I||_F), f0, and
%   history, a struct of columns that grow with the run (iteration, f,
%   time, moves, prox_steps, sweeps, screened, stationarity, pair_gap).
%   Progress fields (also in the INFO handed to the callback): phase
%   ('prox', 'pass', 'pairs' for greedy pair steps, 'done' at the end),
%   pass_pairs_done and pass_pairs_total (pairs of the current pass looked
%   at so far, and all of them; 0 outside a pass), touched (pairs the last
%   finished pass looked at one by one; NaN before the first pass).
%
%   INFO.stop: 'certified' (both certificates hold), 'not_certified' (the
%   rule ended its work without both; always so with certify false),
%   'stalled' (no step of the rule's kind improves F any more, yet the
%   certificates do not both hold; INFO says which one failed),
%   'max_iter', 'time_limit', 'target', 'callback', 'callback_error',
%   'interrupted' (Ctrl-C). Every stop returns the best X so far.
%
%   Prox steps and the exact measure (b) solve for a symmetric r-by-r
%   multiplier by Newton steps whose linear systems are solved by conjugate
%   gradients (each product O(n*r^2)), for every r. A measure whose Newton
%   iteration did not converge is only an upper bound and certifies nothing.
%
%   Random pairs ('zandrel', 'tolmiv', 'uniform') come from a generator
%   that the run owns, seeded from the option seed: a run is the same
%   computation whatever was called before it, and it leaves the C
%   runtime's rand() that TOLMIV and ZANDREL draw from where it stood
%   (ORTHOPAIR_SEED seeds that one and no run). The generator gives the
%   sequence of glibc's rand() after srand(seed), on every platform, so a
%   'zandrel' run with seed k takes the pairs that ZANDREL calls take after
%   ORTHOPAIR_SEED(k) on Linux. A Ctrl-C is seen at progress points, with
%   or without printing, and ends the run ('interrupted').
%
%   Errors (identifiers orthopair_run:<reason>): nargin, nargout;
%   notRealDouble (an argument that is not a real full double array);
%   sizes (A not square, E or X0 not n-by-r, lambda neither 1 nor r values,
%   n < 2 or r outside 1..n); notFinite; notSymmetric (A differs from A' by
%   more than rounding); badA (a struct A without exactly the fields D and
%   scale, or a scale that is not a finite nonzero real scalar); notFeasible (X0'*X0 differs from I by more than
%   1e-8); negativeLambda; badOption (an unknown option or a bad value);
%   outOfMemory; internal.
%
%   Example (sparse PCA from data, 2 components):
%       Dc = randn(20, 200); Dc = Dc - mean(Dc, 1);
%       [X0, ~] = qr(randn(200, 2), 0);
%       [X, info] = orthopair_run(struct('D', Dc, 'scale', -1), [], 0.5, X0);
%
%   See also ORTHOPAIR_SEED, BREVAK, ZANDREL, TOLMIV.

function varargout = orthopair_run(varargin) %#ok<STOUT,INUSD>
error('orthopair_run:notBuilt', 'orthopair_run: MEX-file not built or not on the path; run make_mex (see Contents.m)');
end

%!test
%! % The table of options holds the defaults the run uses.
%! t = orthopair_run();
%! assert(strcmp(t(strcmp({t.name}, 'rule')).default, 'mixed'));
%! assert(t(strcmp({t.name}, 'target_f')).default, -Inf);
%! A = [2 1 0; 1 3 1; 0 1 4];
%! [X, info] = orthopair_run(A, [], 0.1, eye(3, 2));
%! assert(strcmp(info.stop, 'certified'));
%! assert(info.f, 0.5 * trace(X' * A * X) + 0.1 * sum(abs(X(:))), 1e-12);
%! [~, info] = orthopair_run(A, [], 0.1, eye(3, 2), struct('certify', false));
%! assert(strcmp(info.stop, 'not_certified'));
%!test
%! % A seeded run is the same run, whatever state rand() is in.
%! A = -cov(reshape(sin(1:240), 20, 12));
%! o = struct('rule', 'uniform', 'max_iter', 100, 'certify', false, 'seed', 4);
%! orthopair_seed(1);  X1 = orthopair_run(A, [], 0.1, eye(12, 2), o);
%! orthopair_seed(2);  X2 = orthopair_run(A, [], 0.1, eye(12, 2), o);
%! assert(isequal(X1, X2));
%!error id=orthopair_run:notSymmetric orthopair_run([1 2; 3 4], [], 0, eye(2, 1))
%!error id=orthopair_run:badOption orthopair_run(eye(2), [], 0, eye(2, 1), struct('tol', -1))
