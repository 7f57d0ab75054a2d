function measure = pair_stationarity(Xt, CXt, lambda, zero_tol)
% PAIR_STATIONARITY  How far X is from a point that no two-row rotation can improve.
%
%   MEASURE = PAIR_STATIONARITY(XT, CXT, LAMBDA) takes XT = X' (r-by-n, with
%   X'X = I), CXT = (C*X)' and the weight LAMBDA of
%
%       F(X) = -1/2 * trace(X' * C * X) + LAMBDA * sum(abs(X(:)))
%
%   and returns sqrt(sum over pairs i < j of w(i,j)^2), where w(i,j) is the
%   steepest rate at which F can decrease when rows i and j are rotated by a
%   small angle.
%
%   Mathematics. Left-multiplying X by an orthogonal matrix keeps X'X = I,
%   and the directions Omega*X with Omega skew-symmetric span the whole
%   tangent space of {X : X'X = I} at X. The plane rotation of rows i and j,
%   x_i <- c*x_i + s*x_j, x_j <- -s*x_i + c*x_j with angle t, moves along
%   dx_i = x_j, dx_j = -x_i. Let b_k = grad f(X)_k + LAMBDA*sign(x_k) (rows;
%   grad f(X) = -C*X, sign(0) = 0) and
%
%       g(i,j) = <x_i, b_j> - <b_i, x_j>,
%
%   the (i,j) entry of the skew matrix X*B' - B*X'. Entries with x_ik and x_jk
%   both nonzero, or both zero, contribute smoothly (a zero pair stays zero).
%   An entry with exactly one of x_ik, x_jk zero makes the zero entry
%   |t|*|other| in size after the rotation: a kink that adds
%   LAMBDA*|other| to the one-sided derivative in BOTH directions. With
%   kappa(i,j) the sum of those |other| values, the one-sided derivatives in
%   t are -g(i,j) + LAMBDA*kappa(i,j) and g(i,j) + LAMBDA*kappa(i,j), so the
%   best local decrease rate is
%
%       w(i,j) = max(0, |g(i,j)| - LAMBDA * kappa(i,j)).
%
%   MEASURE = 0 exactly when no plane rotation of any two rows decreases F to
%   first order. For LAMBDA = 0 it is ||X*B' - B*X'||_F / sqrt(2): the norm
%   of the gradient of Omega -> f(expm(Omega)*X) at Omega = 0, over the skew
%   matrices with the plane rotations as orthonormal basis. It vanishes
%   exactly at the stationary points of PCA, X*B' symmetric.
%
%   MEASURE = PAIR_STATIONARITY(XT, CXT, LAMBDA, ZERO_TOL) counts entries
%   with |x| <= ZERO_TOL as zeros (an epsilon-active set; LAMBDA > 0 only).
%   The measure is discontinuous at the kinks: an entry of 1e-9 lets a
%   rotation decrease F at a high rate, but only through an angle of about
%   1e-9, until the entry reaches zero. Treating such entries as zeros
%   measures what is left once they are gone.
%
%   Cost. Without exact zeros in X no kink exists and, using X'X = I,
%
%       ||X*B' - B*X'||_F^2 = 2*||(I - X*X')*B||_F^2 + ||X'*B - B'*X||_F^2,
%
%   which takes O(n*r^2); both terms are sums of squares, so the result is
%   accurate to about eps*||B|| (expanding ||X*B' - B*X'||^2 into
%   2*||B||^2 - 2*trace((X'*B)^2) would leave only sqrt(eps)*||B||, as
%   the two parts nearly cancel near a solution). With exact zeros the
%   n-by-n matrices of g and kappa are formed: O(n^2*r).

if nargin < 4
    zero_tol = 0;
end
if lambda ~= 0 && zero_tol > 0
    Xt(abs(Xt) <= zero_tol) = 0;
end
Bt = -CXt;
if lambda ~= 0
    Bt = Bt + lambda * sign(Xt);
end
zero_mask = (Xt == 0);
if lambda == 0 || ~any(zero_mask(:))
    W = Xt * Bt';                 % X' * B, r-by-r
    Rt = Bt - W' * Xt;            % ((I - X*X') * B)'
    skewW = W - W';
    measure = sqrt(sum(Rt(:) .^ 2) + 0.5 * sum(skewW(:) .^ 2));
else
    g = Xt' * Bt - Bt' * Xt;      % n-by-n, g(i,j) = <x_i,b_j> - <b_i,x_j>
    Z = double(zero_mask);
    A = abs(Xt);
    kappa = Z' * A + A' * Z;
    w = max(0, abs(g) - lambda * kappa);
    measure = sqrt(0.5 * sum(w(:) .^ 2));
end
end

%!test
%! % Zero at the leading eigenvectors (lambda = 0), positive away from them.
%! C = cov(seeded_uniform(30, 6, 5));
%! [V, D] = eig(C);  [~, order] = sort(diag(D), 'descend');
%! X = V(:, order(1:2));
%! assert(pair_stationarity(X', (C * X)', 0) < 1e-12);
%! Y = orth(seeded_uniform(6, 2, 6) - 0.5);
%! assert(pair_stationarity(Y', (C * Y)', 0) > 1e-6);
