%ORTHOPAIR_SEED  Seed the C generator that the pair selectors draw from.
%   ORTHOPAIR_SEED(K) calls srand(K) for a whole number 0 <= K < 2^32.
%   TOLMIV, ZANDREL and ORTHOPAIR_RUN draw their random pairs from the C
%   runtime's rand() of the host process and never seed it; with the same
%   seed, the same calls give the same pairs (within one host and C runtime).
%   MATLAB's and Octave's own RAND are separate generators.
%
%   See also ORTHOPAIR_RUN, ZANDREL, TOLMIV.
