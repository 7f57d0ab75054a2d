function [U, state] = seeded_uniform(m, n, seed)
% SEEDED_UNIFORM  Uniform numbers in (0, 1) that are the same in MATLAB and Octave.
%
%   U = SEEDED_UNIFORM(M, N, SEED) returns an M-by-N matrix filled, in
%   column-major order, from the multiplicative congruential generator
%
%       x(k+1) = 16807 * x(k)  mod  (2^31 - 1),       u(k) = x(k) / (2^31 - 1),
%
%   started from x(0) = SEED mod (2^31 - 1) (a SEED that reduces to 0 is
%   replaced by 1). Every product 16807 * x stays below 2^46, so each step is
%   exact in double precision and the sequence is identical, bit for bit, in
%   every host. The two hosts' own RAND/RANDN give different numbers for the
%   same seed, which is why the examples use this generator for anything
%   that has to be reproducible.
%
%   [U, STATE] = SEEDED_UNIFORM(...) also returns the last state, which can
%   be passed as SEED to continue the same sequence.
%
%   The generator is small and fast enough for setting up examples; it is not
%   meant for statistics that need long, high-quality streams.

if nargin < 3
    seed = 1;
end
if ~isnumeric(seed) || ~isscalar(seed) || ~isreal(seed) || ~isfinite(seed) ...
        || seed ~= fix(seed)
    error('seeded_uniform:badSeed', 'SEED must be a finite integer scalar.');
end
if ~isnumeric(m) || ~isnumeric(n) || ~isscalar(m) || ~isscalar(n) ...
        || m < 0 || n < 0 || m ~= fix(m) || n ~= fix(n)
    error('seeded_uniform:badSize', 'M and N must be non-negative integers.');
end

modulus = 2147483647;
mult = 16807;
state = mod(double(seed), modulus);
if state == 0
    state = 1;
end
count = m * n;
U = zeros(m, n);
for k = 1:count
    state = mod(mult * state, modulus);
    U(k) = state / modulus;
end
end

%!test
%! % The generator's own recurrence, and the state that continues it.
%! [U, state] = seeded_uniform(2, 3, 5);
%! x = 5;  expected = zeros(2, 3);
%! for k = 1:6
%!   x = mod(16807 * x, 2147483647);
%!   expected(k) = x / 2147483647;
%! end
%! assert(U, expected);
%! assert(seeded_uniform(1, 2, state), seeded_uniform(1, 8, 5)(7:8));
%! assert(seeded_uniform(1, 3, 0), seeded_uniform(1, 3, 1));
%!error id=seeded_uniform:badSeed seeded_uniform(2, 2, 1.5)
%!error id=seeded_uniform:badSize seeded_uniform(-1, 2, 1)
