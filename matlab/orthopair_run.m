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
%   A*X is kept up to date by rank-2 changes and recomputed every so often.
%
%   Examples of the class: sparse PCA is A = -C, E = [] (C a covariance
%   matrix); L1-regularised orthogonal Procrustes, min 1/2*||M*X - Y||^2 +
%   lambda*||X||_1, is A = M'*M, E = -M'*Y.
%
%   Inputs: A real symmetric n-by-n (symmetric to 1e-12*max|A|; its
%   symmetric part is used), E n-by-r or [], LAMBDA a scalar or r weights
%   (finite, >= 0), X0 n-by-r with X0'*X0 = I to 1e-8, n >= 2, 1 <= r <= n.
%
%   OPTS fields (all optional):
%     rule        'mixed' (default): prox steps until the gradient mapping
%                 ||V||/t is within tol_stat (confirmed by measure (b)) or
%                 the gains still to come fall below tol/100, then full
%                 passes over all pairs until one takes no step above tol,
%                 then the stationarity check; rounds repeat until both
%                 certificates hold. 'zandrel', 'tolmiv' (greedy selectors
%                 on X' and the least-norm subgradient), 'uniform' (random
%                 pairs), 'sweep' (cyclic passes), 'prox' (prox steps only).
%     max_iter    cap on pair steps + prox steps                  [1e8]
%     time_limit  seconds                                          [Inf]
%     target_f    stop ('target') once F <= target_f              [-Inf]
%     tol         certificate (a): a full pass finds no pair whose exact
%                 step lowers F by more than tol*max(1, |F|)       [1e-10]
%     tol_stat    certificate (b): the first-order measure is at most
%                 tol_stat*max(1, ||grad f||_F)                    [1e-6]
%     n_trials    pairs drawn per greedy step                      [n]
%     certify     false: stop ('stalled') at the first point where no pair
%                 gains above tol, without the check (b)           [true]
%     prox        false: no prox steps in 'mixed'                  [true]
%     print_every progress line every so many iterations (and after every
%                 pass and prox phase); 0 = silent                 [0]
%     callback    function handle, called as stop = f(info_so_far) at the
%                 progress points; true stops the run ('callback').
%                 An error inside it raises orthopair_run:callback.
%
%   The first-order measure (b) is min over symmetric L and over the L1
%   subdifferential of ||grad f(X) + xi - X*L||_F, with the subdifferential
%   taken exactly (sign(x) where x ~= 0, the interval [-1, 1] where x == 0),
%   computed by semi-smooth Newton.
%
%   INFO fields: f, stop ('certified', 'max_iter', 'time_limit', 'target',
%   'callback', 'stalled'), iterations, pair_steps, moves (pair steps
%   taken), screened (pairs of full passes settled by a bound without the
%   2-by-2 solve), sweeps, prox_steps, time, pair_gap (largest relative gain
%   among the solved pairs of the last full pass; pairs settled by the bound
%   gain at most tol), stationarity and stationarity_scale (measure (b) and
%   max(1, ||grad f||_F) at the end), feasibility (||X'*X - I||_F), f0, and
%   history, a struct of columns that grow with the run (iteration, f,
%   time, moves, prox_steps, sweeps, screened, stationarity, pair_gap).
%
%   'stalled' means no step of the chosen kind improves F any more, but the
%   certificates do not both hold; INFO says which one failed.
%
%   Prox steps and the exact measure (b) solve for a symmetric r-by-r
%   multiplier by Newton steps whose linear systems are solved by conjugate
%   gradients (each product O(n*r^2)), for every r. A measure whose Newton
%   iteration did not converge is only an upper bound and certifies nothing.
%
%   Random pairs come from the C runtime's rand(); seed it with
%   ORTHOPAIR_SEED for reproducible runs. A Ctrl-C is seen at progress
%   points only (print_every > 0).
%
%   Errors (identifiers orthopair_run:<reason>): nargin, nargout;
%   notRealDouble (an argument that is not a real full double array);
%   sizes (A not square, E or X0 not n-by-r, lambda neither 1 nor r values,
%   n < 2 or r outside 1..n); notFinite; notSymmetric (A differs from A' by
%   more than rounding); notFeasible (X0'*X0 differs from I by more than
%   1e-8); negativeLambda; badOption (an unknown option or a bad value);
%   callback (the callback raised an error); interrupted (Ctrl-C);
%   outOfMemory; internal.
%
%   See also ORTHOPAIR_SEED, BREVAK, ZANDREL, TOLMIV.

% orthopair_run is a MEX-file; this file holds its help text only.
% When the MEX-file is built it is found before this file, which then serves
% for `help` only; the function below runs only when it is missing.

function varargout = orthopair_run(varargin) %#ok<STOUT,INUSD>
error('orthopair_run:notBuilt', ['orthopair_run: the MEX-file orthopair_run is not built or not on the path. ' ...
      'Run make_mex in the matlab folder of the source tree (or install the ' ...
      'Octave package orthopair) and add the folder of the MEX-file to the path.']);
end
