%TOLMIV  Working pair of columns by the maximum-violation rule.
%   P = TOLMIV(A, B, N_COLS, N_ROWS, N_TRIALS) draws random pairs of distinct
%   column indices (i, j) and returns the drawn pair with the largest
%   |A(:,i)'*B(:,j) - B(:,i)'*A(:,j)|, that is the largest entry of A'*B - B'*A
%   in magnitude among the sampled ones, as P = [i; j].
%
%   min(N_TRIALS, N_COLS) pairs are scored. Each attempt draws i first, then
%   j, from the C runtime's rand() generator of the host process; attempts
%   with i == j are not counted. Where RAND_MAX >= N_COLS - 1 (glibc on
%   Linux, macOS: RAND_MAX = 2^31 - 1) each index is one rand() value mod
%   N_COLS, two values per attempt. Where RAND_MAX is smaller (the Windows C
%   runtime has 32767), one value could never reach the higher columns, so
%   each index is formed from k values, taken as the digits of one number in
%   base RAND_MAX + 1 (the first drawn is the most significant) and reduced
%   mod N_COLS: with a 15-bit rand(), k = 2 for 32768 < N_COLS <= 2^30 and
%   k = 3 above, 2k values per attempt. Every column can then be chosen.
%   The generator is never seeded here, so successive calls continue its
%   sequence (ORTHOPAIR_SEED seeds it). Ties keep the pair scored first, and
%   a NaN score never wins.
%
%   Arguments:
%     A, B      real double arrays of at least N_ROWS*N_COLS elements each,
%               read as N_ROWS-by-N_COLS matrices in column order whatever
%               their shape: A(:), B(:) are split into columns of N_ROWS
%               elements, and elements past N_ROWS*N_COLS are never read.
%     N_COLS    number of candidate columns, at least 0.
%     N_ROWS    length of every column, at least 0. With N_ROWS = 0 every
%               score is 0 and the first pair scored is returned.
%     N_TRIALS  number of pairs to score; N_TRIALS <= 0 scores none.
%   The three counts are truncated toward zero (3.9 counts as 3, -0.5 as 0).
%   Inputs after the fifth are ignored.
%
%   Result:
%     P         2-by-1 double column [i; j] of 1-based column indices. It is
%               [1; 2] when no pair was scored (N_COLS < 2 or N_TRIALS < 1)
%               or every score was NaN. [1; 2] is a placeholder, not a
%               choice: with N_COLS < 2 it names a column that does not
%               exist, so test N_COLS >= 2 before using P.
%
%   Errors:
%   A call that cannot mean anything raises an error with an identifier and
%   returns nothing:
%     tolmiv:nargin         fewer than five inputs
%     tolmiv:nargout        more than one output
%     tolmiv:notRealDouble  A or B not a real, full double array
%     tolmiv:notRealScalar  a count empty, complex, sparse or not numeric
%     tolmiv:badCount       a count that is NaN or infinite, or lies outside
%                           -2147483648 ... 2147483647 once truncated, or a
%                           negative N_COLS or N_ROWS
%     tolmiv:tooShort       A or B with fewer than N_ROWS*N_COLS elements
%
%   Example:
%       A = randn(5, 8); B = randn(5, 8);
%       p = tolmiv(A, B, 8, 5, 20);
%       M = A'*B - B'*A;  abs(M(p(1), p(2)))   % the largest sampled violation
%
%   See also ZANDREL, BREVAK, MAKE_MEX.

function varargout = tolmiv(varargin) %#ok<STOUT,INUSD>
error('tolmiv:notBuilt', 'tolmiv: MEX-file not built or not on the path; run make_mex (see Contents.m)');
end

%!test
%! % The two selectors, tolmiv and zandrel, draw alike; the tests of what they
%! % share are here. Under a fixed state of the C generator (orthopair_seed) a
%! % call is the same computation every time: the same pair, and the same
%! % pairs after it.
%! state = randn ("state");
%! randn ("state", 5);
%! A = randn (3, 40);  B = randn (3, 40);
%! randn ("state", state);
%! for select = {@tolmiv, @zandrel}
%!   f = select{1};
%!   orthopair_seed (7);
%!   first = [f(A, B, 40, 3, 40), f(A, B, 40, 3, 40)];
%!   orthopair_seed (7);
%!   assert (isequal (first, [f(A, B, 40, 3, 40), f(A, B, 40, 3, 40)]));
%!   orthopair_seed (8);
%!   other = zeros (2, 10);
%!   for k = 1:10
%!     other(:, k) = f (A, B, 40, 3, 5);
%!   endfor
%!   orthopair_seed (8);
%!   for k = 1:10
%!     assert (isequal (f (A, B, 40, 3, 5), other(:, k)));
%!   endfor
%! endfor
%!test
%! % Column 20 is zero in A and B, so every pair with it scores 0 and every
%! % other pair more. The rule keeps the largest score, so column 20 comes
%! % back only when all 20 drawn pairs hold it, which happens with
%! % probability below 1e-20 whatever the state of the C generator.
%! state = randn ("state");
%! randn ("state", 3);
%! for call = 1:20
%!   A = randn (4, 20);  A(:, 20) = 0;
%!   B = randn (4, 20);  B(:, 20) = 0;
%!   p = tolmiv (A, B, 20, 4, 20);
%!   assert (all (p >= 1 & p < 20) && p(1) != p(2));
%! endfor
%! randn ("state", state);
%!test
%! % Nothing to score: fewer than two columns, no trials, or only NaN scores.
%! % Otherwise any result is a pair of distinct columns in range.
%! for select = {@tolmiv, @zandrel}
%!   f = select{1};
%!   assert (f (1, 1, 1, 1, 10), [1; 2]);
%!   assert (f (ones (2, 4), ones (2, 4), 4, 2, 0), [1; 2]);
%!   assert (f (ones (2, 4), ones (2, 4), 4, 2, -3), [1; 2]);
%!   assert (f (NaN (2, 4), ones (2, 4), 4, 2, 50), [1; 2]);
%!   for n_cols = 2:6
%!     p = f (randn (3, n_cols), randn (3, n_cols), n_cols, 3, 5);
%!     assert (size (p), [2 1]);
%!     assert (p(1) != p(2) && all (p >= 1 & p <= n_cols & p == round (p)));
%!   endfor
%! endfor
%!error id=tolmiv:nargin tolmiv (1, 2)
%!error id=tolmiv:notRealDouble tolmiv (int8 (ones (2)), ones (2), 2, 2, 1)
%!error id=tolmiv:tooShort tolmiv (ones (2), ones (2), 3, 2, 1)
