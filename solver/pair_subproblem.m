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
%   A is the symmetric n-by-n matrix, E the n-by-r linear term ([] for none),
%   LAMBDA a scalar or one weight per column (>= 0), and AX = A*X, which an
%   iteration keeps up to date. The cost is O(r).
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
%       [Q, G, z1, z2] = pair_subproblem(-C, [], lambda, X, -C*X, 3, 7);
%       V = brevak(Q, G, 1, z1, z2, numel(z1));
%       X([3 7], :) = V * X([3 7], :);
%
%   See also BREVAK, ORTHOPAIR_SOLVE, ORTHOPAIR_CERTIFY.

P = [i j];
r = size(X, 2);
Z = X(P, :);
M = AX(P, :);
if ~isempty(E)
    M = M + E(P, :);
end
K = A(P, P);
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
