function cert = orthopair_certify(A, E, lambda, X, opts)
% ORTHOPAIR_CERTIFY  Measure how stationary X is for the orthogonality-constrained L1 problem.
%
%   CERT = ORTHOPAIR_CERTIFY(A, E, LAMBDA, X) takes a point X (n-by-r, X'*X = I) of
%
%       minimise  F(X) = 1/2*trace(X'*A*X) + <E, X> + sum_k LAMBDA(k)*norm(X(:, k), 1)
%       subject to X'*X = I
%
%   and measures the two conditions that a solution must meet. Neither implies
%   the other when LAMBDA > 0:
%
%   (a) Two-row stationarity, global over O(2): for every pair of rows i < j,
%       the best 2-by-2 orthogonal V (BREVAK, over all rotations and
%       reflections) for the step X([i j], :) <- V*X([i j], :) lowers F by
%       DECREASE(i, j) >= 0. CERT.pair_gap is the largest of these divided by
%       max(1, |F|), CERT.pair_best = [i j] where it occurs. Cost: n*(n-1)/2
%       calls of BREVAK.
%   (b) First-order stationarity on the manifold, with the subdifferential of
%       the L1 term taken exactly: CERT.stationarity is the norm of the
%       least-norm element of the projected subdifferential,
%
%           min over xi in dh(X), Lambda symmetric of  norm(grad f(X) + xi - X*Lambda, 'fro'),
%
%       where dh(X) holds LAMBDA(k)*sign(X(i,k)) at nonzero entries and any
%       value in [-LAMBDA(k), LAMBDA(k)] at exact zeros. (The minimum over
%       symmetric Lambda of norm(Y - X*Lambda) is the norm of Y's projection
%       onto the tangent space at X.) Eliminating xi entry by entry leaves a
%       convex, piecewise quadratic, once differentiable function of the
%       r*(r+1)/2 entries of Lambda, which a semismooth Newton method
%       minimises exactly. CERT.relative_stationarity divides by
%       max(1, norm(grad f(X), 'fro')).
%
%   A is a real symmetric matrix, full or sparse, or struct('D', D, 'scale',
%   S) for A = S*D'*D (see ORTHOPAIR_SOLVE); E is [] or n-by-r; LAMBDA a
%   scalar or r weights >= 0. Everything is checked before any measuring; a
%   bad call raises orthopair_certify:<reason> (nargin, notRealDouble,
%   sizes, notFinite, notSymmetric, badA, notFeasible, negativeLambda,
%   badOption). X must have orthonormal columns to 1e-8.
%
%   OPTS (optional struct): pairs (true or false; false skips the O(n^2)
%   scan of (a)); time_limit (seconds from the call, Inf): the scan stops
%   when it is spent, and then measures (a) on the pairs it reached only.
%
%   CERT fields: f, pair_gap, pair_best, decrease (n-by-n, upper triangle),
%   pairs_scanned (of n*(n-1)/2; pair_gap is NaN unless all were),
%   stationarity, relative_stationarity, feasibility (norm(X'*X - I,
%   'fro')), multiplier (the minimising Lambda), nonzeros.
%
%   Example:
%       C = cov(seeded_uniform(50, 8, 11));
%       X = orthopair_solve(-C, [], 0.1, 2);
%       cert = orthopair_certify(-C, [], 0.1, X);
%       [cert.pair_gap, cert.relative_stationarity]
%
%   See also ORTHOPAIR_SOLVE, ORTHOPAIR_POLISH, PAIR_SUBPROBLEM, BREVAK.

started = tic;
if nargin < 5
    opts = [];
end
opts = orthopair_problem('arguments', 'orthopair_certify', nargin, 4, 'A, E, lambda, X', opts);
[n, r, E, lam] = orthopair_problem('check', 'orthopair_certify', A, E, lambda, X, 'X');
if isscalar(X)
    error('orthopair_certify:sizes', 'orthopair_certify: argument 4 (X) must be an n-by-r matrix.');
end
do_pairs = true;
time_limit = Inf;
given = fieldnames(opts);
for k = 1:numel(given)
    v = opts.(given{k});
    switch given{k}
        case 'pairs'
            if ~(isscalar(v) && (islogical(v) || isnumeric(v)) && (v == 0 || v == 1))
                error('orthopair_certify:badOption', 'orthopair_certify: option pairs must be true or false.');
            end
            do_pairs = logical(v);
        case 'time_limit'
            if ~(isnumeric(v) && isreal(v) && isscalar(v) && v >= 0)
                error('orthopair_certify:badOption', ...
                    'orthopair_certify: option time_limit must be a number >= 0 (seconds).');
            end
            time_limit = double(v);
        otherwise
            error('orthopair_certify:badOption', ...
                'orthopair_certify: unknown option ''%s''; known: pairs, time_limit.', given{k});
    end
end
AX = orthopair_problem('times', A, X);
cert.f = objective(X, AX, E, lam);
cert.feasibility = norm(X' * X - eye(r), 'fro');
cert.nonzeros = nnz(X);

% ---- (b) least-norm projected subgradient ----------------------------------
Gf = AX + E;
[cert.stationarity, cert.multiplier] = least_norm_measure(X, Gf, lam);
cert.relative_stationarity = cert.stationarity / max(1, norm(Gf, 'fro'));

% ---- (a) exhaustive pair scan --------------------------------------------
cert.pair_gap = NaN;
cert.pair_best = [0 0];
cert.decrease = [];
cert.pairs_scanned = 0;
if do_pairs
    decrease = zeros(n, n);
    scanned = 0;
    for i = 1:n - 1
        if toc(started) > time_limit
            break;
        end
        for j = i + 1:n
            [Q, G, z1, z2, offset] = pair_subproblem(A, E, lam, X, AX, i, j);
            V = brevak(Q, G, 1, z1, z2, r);
            change = 0.5 * (V(:)' * Q * V(:)) + sum(sum(G .* V)) ...
                + sum(sum(abs(V * [z1; z2]))) + offset;
            decrease(i, j) = max(0, -change);
        end
        scanned = scanned + n - i;
    end
    [best, at] = max(decrease(:));
    [bi, bj] = ind2sub([n n], at);
    cert.pairs_scanned = scanned;
    if scanned == n * (n - 1) / 2
        cert.pair_gap = best / max(1, abs(cert.f));
    end
    cert.pair_best = [bi bj];
    cert.decrease = decrease;
end
end

function value = objective(X, AX, E, lam)
value = 0.5 * sum(sum(X .* AX)) + sum(sum(E .* X)) + sum(lam .* sum(abs(X), 1));
end

function [measure, Lambda] = least_norm_measure(X, Gf, lam)
% Minimise phi(Lambda) = 1/2*||R(Gf - X*Lambda)||^2 over symmetric Lambda, where
% R(y) = y + lam*sign(x) at nonzero x and the soft threshold of y at x = 0:
% the residual of the best subgradient entry. phi is convex with gradient
% -sym(X'*R) and generalised Hessian sym(X'*(D.*(X*dLambda))), D the 0/1
% mask where R moves with y. Newton steps with a backtracking line search
% end in finitely many steps once the mask settles.
[n, r] = size(X);
L = repmat(lam, n, 1);
nonzero = (X ~= 0);
S = L .* sign(X);
% Coordinates: the upper triangle of Lambda; dup maps them to vec(Lambda).
[iu, ju] = find(triu(ones(r)));
m = numel(iu);
dup = zeros(r * r, m);
for k = 1:m
    dup(iu(k) + r * (ju(k) - 1), k) = 1;
    dup(ju(k) + r * (iu(k) - 1), k) = 1;
end
H0 = Gf + S;                                  % least-norm entrywise start
H0(~nonzero) = sign(Gf(~nonzero)) .* max(abs(Gf(~nonzero)) - L(~nonzero), 0);
Lambda = 0.5 * (X' * H0 + H0' * X);
theta = Lambda(sub2ind([r r], iu, ju));
[phi, Rm, D] = evaluate(theta, dup, X, Gf, S, L, nonzero);
for iter = 1:200
    grad = -dup' * reshape(X' * Rm, [], 1);
    Hs = zeros(r * r, r * r);
    for k = 1:r
        block = X' * (X .* D(:, k));
        Hs((k - 1) * r + (1:r), (k - 1) * r + (1:r)) = block;
    end
    Hm = dup' * Hs * dup;
    Hm = 0.5 * (Hm + Hm');
    mu = 1e-12 * max(1, trace(Hm) / m);
    step = -(Hm + mu * eye(m)) \ grad;
    t = 1;
    improved = false;
    for ls = 1:60
        [phi_new, R_new, D_new] = evaluate(theta + t * step, dup, X, Gf, S, L, nonzero);
        if phi_new <= phi + 1e-4 * t * (grad' * step)
            improved = true;
            break;
        end
        t = t / 2;
    end
    if ~improved || phi - phi_new <= 1e-15 * max(phi, realmin)
        if improved && phi_new < phi
            theta = theta + t * step;
            phi = phi_new;
        end
        break;
    end
    theta = theta + t * step;
    phi = phi_new;
    Rm = R_new;
    D = D_new;
    if phi == 0
        break;
    end
end
measure = sqrt(2 * phi);
Lambda = reshape(dup * theta, r, r);
end

function [value, R, Dmask] = evaluate(th, dup, X, Gf, S, L, nonzero)
r = size(X, 2);
Lam = reshape(dup * th, r, r);
Y = Gf - X * Lam;
R = Y + S;
free = ~nonzero;
R(free) = sign(Y(free)) .* max(abs(Y(free)) - L(free), 0);
Dmask = double(nonzero | (abs(Y) > L));
value = 0.5 * sum(R(:) .^ 2);
end

%!test
%! % At a certified point of the native run both measures agree with it.
%! C = cov(seeded_uniform(40, 6, 2));
%! [X, info] = orthopair_solve(-C, [], 0.05, 2);
%! cert = orthopair_certify(-C, [], 0.05, X);
%! assert(strcmp(info.stop, 'certified'));
%! assert(cert.pair_gap <= 1e-10);
%! assert(cert.relative_stationarity <= 1e-6);
%! assert(abs(cert.f - info.f) <= 1e-12 * max(1, abs(info.f)));
%! assert(cert.pairs_scanned, 15);
%!test
%! % The data form of A gives the same measures as the matrix it stands for.
%! D = seeded_uniform(7, 5, 4);
%! X = orth(seeded_uniform(5, 2, 9) - 0.5);
%! a = orthopair_certify(-D' * D, [], 0.1, X);
%! b = orthopair_certify(struct('D', D, 'scale', -1), [], 0.1, X);
%! assert(b.f, a.f, 1e-12);
%! assert(b.stationarity, a.stationarity, 1e-10);
%! assert(b.pair_gap, a.pair_gap, 1e-10);
%!error id=orthopair_certify:nargin orthopair_certify(eye(3), [], 0)
%!error id=orthopair_certify:sizes orthopair_certify(eye(3), ones(3, 1), 0, eye(3, 2))
%!error id=orthopair_certify:negativeLambda orthopair_certify(eye(3), [], -0.1, eye(3, 2))
%!error id=orthopair_certify:notSymmetric orthopair_certify([1 2 0; 0 1 0; 0 0 1], [], 0, eye(3, 2))
%!error id=orthopair_certify:notFeasible orthopair_certify(eye(3), [], 0, ones(3, 2))
%!error id=orthopair_certify:badOption orthopair_certify(eye(3), [], 0, eye(3, 2), struct('pair', false))
