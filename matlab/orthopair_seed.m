%ORTHOPAIR_SEED  Seed the C generator that the pair selectors draw from.
%   ORTHOPAIR_SEED(K) calls srand(K) for a whole number 0 <= K < 2^32.
%   TOLMIV and ZANDREL draw their random pairs from the C runtime's rand()
%   of the host process and never seed it; with the same seed, the same
%   calls give the same pairs (within one host and C runtime).
%   MATLAB's and Octave's own RAND are separate generators.
%
%   Solver runs do not use this generator: ORTHOPAIR_RUN (and ORTHOPAIR_SOLVE
%   and the functions built on it) draw from a generator of their own,
%   seeded by their option seed, and leave rand() as they found it.
%
%   See also ORTHOPAIR_RUN, ZANDREL, TOLMIV.

function varargout = orthopair_seed(varargin) %#ok<STOUT,INUSD>
error('orthopair_seed:notBuilt', 'orthopair_seed: MEX-file not built or not on the path; run make_mex (see Contents.m)');
end

%!test
%! % The same seed, the same draws of the selectors.
%! A = reshape(1:40, 5, 8) / 7;  B = cos(reshape(1:40, 5, 8));
%! orthopair_seed(9);  p = zandrel(A, B, 8, 5, 3);
%! orthopair_seed(9);  q = zandrel(A, B, 8, 5, 3);
%! assert(p, q);
%!error id=orthopair_seed:badSeed orthopair_seed(-1)
%!error id=orthopair_seed:nargin orthopair_seed()
