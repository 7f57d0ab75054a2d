function [Q, G, z1, z2, offset] = pair_subproblem(A, E, lambda, X, AX, i, j)
% PAIR_SUBPROBLEM  The 2-by-2 subproblem of one two-row step, ready for BREVAK.
%
%   [Q, G, Z1, Z2] = PAIR_SUBPROBLEM(A, E, LAMBDA, X, AX, I, J) describes how
%
%       F(X) = 1/2*trace(X'*A*X) + <E, X> + sum_k LAMBDA(k)*norm(X(:, k), 1)
%
%   changes when rows I and J of X are replaced by V*X([I J], :) for a 2-by-2
%   orthogonal V, so that
%
%       V = brevak(Q, G, 1, Z1, Z2, numel(Z1))
%
%   is the best such V (rotation or reflection) and
%
%       F(X_new) - F(X) = 1/2*V(:)'*Q*V(:) + <G, V> + sum(sum(abs(V*[Z1; Z2]))) + OFFSET
%
%   holds exactly for every V (F is quadratic plus L1 and only two rows move).
%   A is the symmetric n-by-n matrix (full, sparse, or struct('D', D,
%   'scale', S) for S*D'*D), E the n-by-r linear term ([] for none), LAMBDA a
%   scalar or one weight per column (>= 0), and AX = A*X, which an
%   iteration keeps up to date. The cost is O(r): the shapes, I and J
%   (distinct whole numbers in 1..n), LAMBDA and the symmetry of A(P, P) are
%   checked, not X's orthonormality nor AX = A*X. A bad call raises
%   pair_subproblem:<reason> (nargin, notRealDouble, sizes, badIndex,
%   negativeLambda, notSymmetric).
%
%   [Q, G, Z1, Z2, OFFSET] also returns the constant OFFSET, with which the
%   model at V = eye(2) is 0.
%
%   Derivation. With P = [I J], Z = X(P, :), M = (A*X + E)(P, :), K = A(P, P)
%   and S = Z*Z', the change of the rows is D = (V - I)*Z and
%
%       f(X_new) - f(X) = <D, M> + 1/2*<D, K*D>
%                       = 1/2*trace(V'*K*V*S) + <V, M*Z' - K*S> - <Z, M> + 1/2*<K, S>,
%
%   and trace(V'*K*V*S) = V(:)'*kron(S, K)*V(:). The weights of the L1 term
%   go into the rows: LAMBDA(k)*|(V*Z)(:, k)| = |V*(LAMBDA(k)*Z(:, k))|, so
%   BREVAK's own weight is 1.
%
%   Example (sparse PCA, F = -1/2*trace(X'*C*X) + lambda*||X||_1):
%       C = cov(seeded_uniform(30, 8, 1));  lambda = 0.1;
%       X = orth(seeded_uniform(8, 2, 2) - 0.5);
%       [Q, G, z1, z2] = pair_subproblem(-C, [], lambda, X, -C*X, 3, 7);
%       V = brevak(Q, G, 1, z1, z2, numel(z1));
%       X([3 7], :) = V * X([3 7], :);
%
%   See also BREVAK, ORTHOPAIR_SOLVE, ORTHOPAIR_CERTIFY.

if nargin ~= 7
    error('pair_subproblem:nargin', ...
        'pair_subproblem: expected 7 inputs (A, E, lambda, X, AX, i, j), got %d.', nargin);
end
if isstruct(A) && isscalar(A) && isfield(A, 'D') && isfield(A, 'scale')
    n = size(A.D, 2);
elseif isa(A, 'double') && isreal(A) && ismatrix(A) && size(A, 1) == size(A, 2)
    n = size(A, 1);
else
    error('pair_subproblem:notRealDouble', ...
        'pair_subproblem: argument 1 (A) must be a real square double matrix or struct(''D'', D, ''scale'', S).');
end
if ~isa(X, 'double') || ~isreal(X) || issparse(X) || size(X, 1) ~= n || size(X, 2) < 1
    error('pair_subproblem:sizes', 'pair_subproblem: argument 4 (X) must be a real full %d-by-r matrix.', n);
end
r = size(X, 2);
if ~isa(AX, 'double') || ~isequal(size(AX), [n r])
    error('pair_subproblem:sizes', 'pair_subproblem: argument 5 (AX) must be %d-by-%d like X.', n, r);
end
if ~(isnumeric(E) && isequal(size(E), [0 0])) && ~(isa(E, 'double') && isequal(size(E), [n r]))
    error('pair_subproblem:sizes', 'pair_subproblem: argument 2 (E) must be [] or %d-by-%d like X.', n, r);
end
if ~isa(lambda, 'double') || ~isreal(lambda) || ~(isscalar(lambda) || numel(lambda) == r) ...
        || ~all(isfinite(lambda))
    error('pair_subproblem:sizes', ...
        'pair_subproblem: argument 3 (lambda) must be a finite scalar or %d weights.', r);
end
if any(lambda < 0)
    error('pair_subproblem:negativeLambda', 'pair_subproblem: argument 3 (lambda) must be >= 0.');
end
for index = {i, j}
    k = index{1};
    if ~(isnumeric(k) && isreal(k) && isscalar(k) && k == fix(k) && k >= 1 && k <= n)
        error('pair_subproblem:badIndex', 'pair_subproblem: i and j must be whole numbers in 1..%d.', n);
    end
end
if i == j
    error('pair_subproblem:badIndex', 'pair_subproblem: i and j must differ, both are %d.', i);
end
P = [i j];
Z = X(P, :);
M = AX(P, :);
if ~isempty(E)
    M = M + E(P, :);
end
K = orthopair_problem('block', A, P);
if abs(K(1, 2) - K(2, 1)) > 1e-12 * max(abs(K(:)))
    error('pair_subproblem:notSymmetric', 'pair_subproblem: argument 1 (A) is not symmetric at (%d, %d).', i, j);
end
K = 0.5 * (K + K');
S = Z * Z';
Q = kron(S, K);
G = M * Z' - K * S;
w = lambda(:)' .* ones(1, r);
z1 = w .* Z(1, :);
z2 = w .* Z(2, :);
if nargout > 4
    offset = -sum(sum(Z .* M)) + 0.5 * sum(sum(K .* S)) - sum(abs(z1)) - sum(abs(z2));
end
end

%!test
%! % The model is exact: for any V, the change of F equals its value.
%! C = cov(seeded_uniform(30, 6, 1));  A = -C;  lambda = [0.1 0.3];
%! X = orth(seeded_uniform(6, 2, 2) - 0.5);  E = seeded_uniform(6, 2, 3);
%! F = @(Y) 0.5 * trace(Y' * A * Y) + sum(sum(E .* Y)) + sum(lambda .* sum(abs(Y), 1));
%! [Q, G, z1, z2, offset] = pair_subproblem(A, E, lambda, X, A * X, 2, 5);
%! for t = [0.3 1.7 -2.2]
%!   for V = {[cos(t) -sin(t); sin(t) cos(t)], [cos(t) sin(t); sin(t) -cos(t)]}
%!     Y = X;  Y([2 5], :) = V{1} * X([2 5], :);
%!     model = 0.5 * (V{1}(:)' * Q * V{1}(:)) + sum(sum(G .* V{1})) + sum(sum(abs(V{1} * [z1; z2]))) + offset;
%!     assert(model, F(Y) - F(X), 1e-12);
%!   end
%! end
%!error id=pair_subproblem:badIndex pair_subproblem(eye(3), [], 0, eye(3, 2), eye(3, 2), 2, 2)
%!error id=pair_subproblem:badIndex pair_subproblem(eye(3), [], 0, eye(3, 2), eye(3, 2), 1, 4)
%!error id=pair_subproblem:sizes pair_subproblem(eye(3), ones(3, 1), 0, eye(3, 2), eye(3, 2), 1, 2)
%!error id=pair_subproblem:negativeLambda pair_subproblem(eye(3), [], -1, eye(3, 2), eye(3, 2), 1, 2)
%!error id=pair_subproblem:nargin pair_subproblem(eye(3), [], 0, eye(3, 2), eye(3, 2), 1)
