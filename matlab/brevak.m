%BREVAK  Best 2-by-2 rotation or reflection for an L1-weighted quadratic.
%   V = BREVAK(Q, G, LAMBDA, Z1, Z2, N) returns the 2-by-2 orthogonal matrix V
%   (a rotation [c s; -s c] or a reflection [-c s; s c]) that minimises
%
%       0.5*V(:)'*Q*V(:) + sum(sum(G.*V)) + LAMBDA*sum(sum(abs(V*[Z1(1:N); Z2(1:N)])))
%
%   [V, F] = BREVAK(Q, G, LAMBDA, Z1, Z2, N) also returns F, the value of
%   that objective at V as the search computed it, with the pairs that were
%   left out (see Z1, Z2) not counted and Q taken as the symmetric matrix its
%   upper triangle describes. Comparing F with your own evaluation of the
%   objective checks the Q and G you assembled. V is the same with one
%   output or two.
%
%   The search is direct, not iterative: on each family it compares a finite
%   list of candidate points (the four axis points, the points where a term
%   of the L1 norm changes sign, and the stationary points of the smooth
%   pieces in between) and keeps the first with the lowest value; the
%   rotation is returned only when it is strictly better than the reflection.
%
%   Arguments:
%     Q       real double array of at least 16 elements, read as a 4-by-4
%             matrix in column order. Only the diagonal and upper triangle are
%             used; Q is taken as symmetric, and its strict lower triangle may
%             hold anything, NaN included.
%     G       real double array of at least 4 elements, read as a 2-by-2 matrix.
%     LAMBDA  weight of the L1 term, any finite real number (first element used).
%     Z1, Z2  real double arrays; their first N elements form the two rows of
%             the 2-by-N matrix in the L1 term, and elements past N are never
%             read. A pair (Z1(k), Z2(k)) with both |Z1(k)| <= 2.2204e-16 and
%             |Z2(k)| <= 2.2204e-16 is left out of the L1 term (the threshold
%             is the double nearest to 2.2204e-16, a hair below eps, and is
%             never scaled); a pair with one larger entry keeps both entries
%             as they are.
%     N       number of pairs, truncated toward zero (3.9 counts as 3).
%             N <= 0 means no pairs. At most 536870911.
%   Every value that is read (Q on and above the diagonal, G, LAMBDA,
%   Z1(1:N), Z2(1:N)) must be finite. Inputs after the sixth are ignored.
%   Any shape is accepted when an array has enough elements.
%
%   Result:
%     V       2-by-2 double matrix, orthogonal up to rounding.
%     F       double scalar, the objective at V. It is at most 1e100: where
%             no point of either family scores below 1e100, F is 1e100.
%
%   Errors:
%   A call that cannot mean anything raises an error with an identifier and
%   returns nothing:
%     brevak:nargin         fewer than six inputs
%     brevak:nargout        more than two outputs
%     brevak:notRealDouble  Q, G, Z1 or Z2 not a real, full double array
%     brevak:notRealScalar  LAMBDA or N empty, complex, sparse or not numeric
%     brevak:badCount       N is NaN or infinite, or lies outside
%                           -2147483648 ... 2147483647 once truncated
%     brevak:tooManyPairs   N above 536870911
%     brevak:tooShort       Q under 16 elements, G under 4, Z1 or Z2 under N
%     brevak:notFinite      a NaN or Inf among the values read; the message
%                           names the argument and the first such element
%     brevak:outOfMemory    no memory for the search's scratch arrays
%
%   Example:
%       Q = eye(4); G = [1 2; 3 4];
%       z1 = [1 -2 0.5]; z2 = [0.3 1 -1];
%       [V, f] = brevak(Q, G, 0.1, z1, z2, numel(z1));
%       V'*V     % the 2-by-2 identity, up to rounding
%       f - (0.5*V(:)'*Q*V(:) + sum(sum(G.*V)) + 0.1*sum(sum(abs(V*[z1; z2]))))
%                % zero, up to rounding
%
%   See also TOLMIV, ZANDREL, MAKE_MEX.

function varargout = brevak(varargin) %#ok<STOUT,INUSD>
error('brevak:notBuilt', 'brevak: MEX-file not built or not on the path; run make_mex (see Contents.m)');
end

%!test
%! % <G, V> = -trace(V) is lowest at the identity, one of the axis points.
%! assert (brevak (zeros (4), -eye (2), 0, 0, 0, 0), eye (2));
%!test
%! % <G, V> is -2s on the rotations and 0 on the reflections: a quarter turn.
%! assert (brevak (zeros (4), [0 -1; 1 0], 0, 0, 0, 0), [0 1; -1 0]);
%!test
%! % <G, V> is 0 on the rotations and -2c on the reflections.
%! assert (brevak (zeros (4), [1 0; 0 -1], 0, 0, 0, 0), [-1 0; 0 1]);
%!test
%! % Random subproblems: V is orthogonal and no point of a dense sample of
%! % both halves of O(2) has a lower objective.
%! state = rand ("state");
%! rand ("state", 7);
%! f = @(V, Q, G, lambda, Z) 0.5 * V(:)' * Q * V(:) + sum (sum (G .* V)) ...
%!                           + lambda * sum (sum (abs (V * Z)));
%! theta = linspace (0, 2 * pi, 2001);
%! for trial = 1:20
%!   R = rand (4) - 0.5;
%!   Q = R + R';
%!   G = rand (2) - 0.5;
%!   Z = rand (2, 6) - 0.5;
%!   lambda = rand ();
%!   V = brevak (Q, G, lambda, Z(1, :), Z(2, :), 6);
%!   assert (V' * V, eye (2), 1e-14);
%!   best = f (V, Q, G, lambda, Z);
%!   for t = theta
%!     c = cos (t);  s = sin (t);
%!     assert (best <= f ([c s; -s c], Q, G, lambda, Z) + 1e-12);
%!     assert (best <= f ([-c s; s c], Q, G, lambda, Z) + 1e-12);
%!   endfor
%! endfor
%! rand ("state", state);
%!error id=brevak:nargin brevak (eye (4), eye (2), 0)
%!error id=brevak:notRealDouble brevak (single (eye (4)), eye (2), 0, 1, 1, 1)
%!error id=brevak:tooShort brevak (eye (4), eye (2), 0, [1 2], [1 2], 3)
