function [Q, G, offset] = pair_rotation_model(K, Zt, Mt)
% PAIR_ROTATION_MODEL  Exact quadratic model of f(X) = -1/2 tr(X'CX) under a two-row step.
%
%   [Q, G, OFFSET] = PAIR_ROTATION_MODEL(K, ZT, MT) describes how
%   f(X) = -1/2 * trace(X' * C * X) changes when the rows P = [i j] of X are
%   replaced by V * X(P, :) for a 2-by-2 matrix V:
%
%       f(X_new) - f(X) = 1/2 * vec(V)' * Q * vec(V) + <G, V> + OFFSET
%
%   holds exactly for every V (f is quadratic), with vec(V) = V(:) =
%   [V11 V21 V12 V22]'. The inputs are the pieces of the current state that
%   the change depends on, given transposed (the iteration stores X' so that
%   rows of X are contiguous columns):
%
%       K  = C(P, P)           2-by-2, symmetric
%       ZT = X(P, :)'          r-by-2, the two rows
%       MT = (C * X)(P, :)'    r-by-2, the same rows of C*X
%
%   Derivation. Write Z = X(P, :), M = (C*X)(P, :) and D = (V - I) * Z, the
%   change of the two rows. Only rows P move, so
%
%       f(X_new) - f(X) = -<D, M> - 1/2 * <D, K * D>.
%
%   With S = Z * Z' (symmetric) and the symmetry of K,
%
%       -<D, M>          = -<V, M * Z'> + <Z, M>
%       -1/2 <D, K * D>  = -1/2 trace(V' K V S) + <V, K * S> - 1/2 <K, S>,
%
%   and trace(V' K V S) = vec(V)' * kron(S, K) * vec(V) because
%   vec(K * V * S) = kron(S', K) * vec(V). Hence
%
%       Q      = -kron(S, K)
%       G      = K * S - M * Z'
%       OFFSET = <Z, M> - 1/2 * <K, S>.
%
%   Since M = K * Z + C(P, rest) * X(rest, :), the linear term is
%   G = -C(P, rest) * X(rest, :) * Z': it carries exactly the coupling of
%   rows i and j with all the other rows, while the block C(P, P) sits in Q.
%   At V = I the model gives 0, as it must.
%
%   The cost is O(r): everything needed has been gathered into 2-by-2 and
%   r-by-2 pieces.

S = Zt' * Zt;
Q = -kron(S, K);
G = K * S - Mt' * Zt;
if nargout > 2
    offset = sum(sum(Zt .* Mt)) - 0.5 * sum(sum(K .* S));
end
end

%!test
%! % The model is exact for any 2-by-2 V, orthogonal or not.
%! C = cov(seeded_uniform(20, 5, 3));
%! X = orth(seeded_uniform(5, 2, 4) - 0.5);
%! P = [2 4];
%! [Q, G, offset] = pair_rotation_model(C(P, P), X(P, :)', (C * X)(P, :)');
%! V = [0.3 -1.2; 0.7 0.4];
%! Y = X;  Y(P, :) = V * X(P, :);
%! assert(0.5 * V(:)' * Q * V(:) + sum(sum(G .* V)) + offset, ...
%!        -0.5 * trace(Y' * C * Y) + 0.5 * trace(X' * C * X), 1e-12);
