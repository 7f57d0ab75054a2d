%TOLMIV  Working pair of columns by the maximum-violation rule.
%   P = TOLMIV(A, B, N_COLS, N_ROWS, N_TRIALS) draws random pairs of distinct
%   column indices (i, j) and returns the drawn pair with the largest
%   |A(:,i)'*B(:,j) - B(:,i)'*A(:,j)|, that is the largest entry of A'*B - B'*A
%   in magnitude among the sampled ones, as P = [i; j].
%
%   min(N_TRIALS, N_COLS) pairs are scored. Each attempt takes two values of
%   the C runtime's rand() generator of the host process (i first, then j,
%   each mod N_COLS); attempts with i == j are not counted. The generator is
%   never seeded here, so successive calls continue its sequence. Ties keep
%   the pair scored first, and a NaN score never wins.
%
%   Arguments:
%     A, B      real double arrays of at least N_ROWS*N_COLS elements each,
%               read as N_ROWS-by-N_COLS matrices in column order.
%     N_COLS    number of candidate columns.
%     N_ROWS    length of every column.
%     N_TRIALS  number of pairs to score.
%   The three counts are truncated toward zero; NaN, Inf or a value beyond
%   the 32-bit range becomes -2147483648. Inputs after the fifth are ignored.
%   A bad call raises an error with an identifier tolmiv:<reason>, e.g.
%   tolmiv:nargin, tolmiv:notRealDouble, tolmiv:tooShort or
%   tolmiv:notRealScalar.
%
%   Result:
%     P         2-by-1 double column [i; j] of 1-based column indices;
%               [1; 2] when no pair was scored (N_COLS < 2 or N_TRIALS < 1)
%               or every score was NaN.
%
%   Example:
%       A = randn(5, 8); B = randn(5, 8);
%       p = tolmiv(A, B, 8, 5, 20);
%       M = A'*B - B'*A;  abs(M(p(1), p(2)))   % the largest sampled violation
%
%   See also ZANDREL, BREVAK, MAKE_MEX.

% tolmiv is a MEX-file; this file holds its help text only.
