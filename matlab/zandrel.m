%ZANDREL  Working pair of columns by the objective-reduction rule.
%   P = ZANDREL(A, B, N_COLS, N_ROWS, N_TRIALS) draws random pairs of distinct
%   column indices (i, j) and returns the drawn pair whose score is smallest,
%   as P = [i; j]. The score of (i, j) is the least value that the linear
%   change sum(sum(Bp .* (Ap*V - Ap))), with Ap = A(:,[i j]) and
%   Bp = B(:,[i j]), takes over all 2-by-2 orthogonal V, rotations and
%   reflections alike:
%
%       h = B(:,i)'*A(:,i);  l = B(:,j)'*A(:,j);
%       m = B(:,i)'*A(:,j);  o = B(:,j)'*A(:,i);  t = l + h;
%       score = min(-t - sqrt((m - o)^2 + t^2), -t - sqrt((o + m)^2 + (l - h)^2))
%
%   The pairs are drawn exactly as TOLMIV draws them: min(N_TRIALS, N_COLS)
%   pairs of distinct columns from the C runtime's rand() generator of the host process,
%   which is never seeded here (ORTHOPAIR_SEED seeds it), so that the same
%   state of that generator gives the same draws. Ties keep the pair scored
%   first, and a NaN score never wins.
%
%   Arguments:
%     A, B, N_COLS, N_ROWS, N_TRIALS  as for TOLMIV: A(:) and B(:) are read
%               as N_ROWS-by-N_COLS matrices in column order, the counts are
%               truncated toward zero, N_TRIALS <= 0 scores none, and inputs
%               after the fifth are ignored.
%
%   Result:
%     P         2-by-1 double column [i; j] of 1-based column indices, or the
%               placeholder [1; 2] when no pair was scored (N_COLS < 2 or
%               N_TRIALS < 1) or every score was NaN; with N_COLS < 2 it
%               names a column that does not exist.
%
%   Errors:
%   The identifiers of TOLMIV's errors with the prefix zandrel, for the same
%   causes: zandrel:nargin, zandrel:nargout, zandrel:notRealDouble,
%   zandrel:notRealScalar, zandrel:badCount, zandrel:tooShort.
%
%   Example:
%       A = randn(5, 8); B = randn(5, 8);
%       p = zandrel(A, B, 8, 5, 20);
%       % recombining columns p(1) and p(2) of A promises the largest decrease
%
%   See also TOLMIV, BREVAK, MAKE_MEX.

function varargout = zandrel(varargin) %#ok<STOUT,INUSD>
error('zandrel:notBuilt', 'zandrel: MEX-file not built or not on the path; run make_mex (see Contents.m)');
end

% What zandrel shares with tolmiv (draws under a seed, results with nothing
% to score, pairs in range) is tested in tolmiv.m.
%!test
%! % Column 20 is zero in A and B, and <B_i, A_i> < 0 for every other column:
%! % then a pair with column 20 scores exactly 0, the worst score there is,
%! % and every other pair scores below 0 (t < 0 and m != o). The rule keeps
%! % the lowest score, so column 20 comes back only when all 20 drawn pairs
%! % hold it: probability below 1e-20 whatever the state of the C generator.
%! state = randn ("state");
%! randn ("state", 5);
%! for call = 1:20
%!   A = randn (4, 20);  A(:, 20) = 0;
%!   B = -A + 0.1 * randn (4, 20);  B(:, 20) = 0;
%!   assert (all (sum (A(:, 1:19) .* B(:, 1:19)) < 0));
%!   p = zandrel (A, B, 20, 4, 20);
%!   assert (all (p >= 1 & p < 20) && p(1) != p(2));
%! endfor
%! randn ("state", state);
%!error id=zandrel:nargin zandrel (1, 2)
%!error id=zandrel:notRealDouble zandrel (ones (2) + 1i, ones (2), 2, 2, 1)
%!error id=zandrel:tooShort zandrel (ones (2), ones (2), 3, 2, 1)
