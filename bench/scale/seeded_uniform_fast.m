function U = seeded_uniform_fast(m, n, seed)
% SEEDED_UNIFORM_FAST  The numbers of SEEDED_UNIFORM, computed by whole blocks.
%
%   U = SEEDED_UNIFORM_FAST(M, N, SEED) returns exactly SEEDED_UNIFORM(M, N,
%   SEED), bit for bit: the k-th number (column-major) is x(k)/(2^31 - 1)
%   with x(k) = 16807^k * x(0) mod (2^31 - 1). Instead of one step of the
%   generator per number it doubles the known stretch of the sequence each
%   time, x(L + j) = 16807^L * x(j) mod (2^31 - 1), so that the tens of
%   millions of numbers a large benchmark instance takes cost seconds rather
%   than minutes in an interpreted loop.
%
%   Each product of two residues below 2^31 is split at 2^16 so that no
%   intermediate exceeds 2^48: every operation is exact in double precision,
%   and the quotients inside MOD stay far enough from the next integer
%   (below 2^17, with an ulp of 2^-36 against a distance of at least 2^-31)
%   that the remainder is exact too.
%
%   Example:
%       isequal(seeded_uniform_fast(3, 1000, 7), seeded_uniform(3, 1000, 7))
%
%   See also SEEDED_UNIFORM, SCALE_INSTANCE.

modulus = 2147483647;
mult = 16807;
[~, x0] = seeded_uniform(0, 0, seed);   % the start state, as SEEDED_UNIFORM takes it
count = m * n;
x = zeros(count, 1);
if count > 0
    x(1) = mulmod(mult, x0, modulus);
    known = 1;
    jump = mult;                 % 16807^known mod (2^31 - 1)
    while known < count
        take = min(known, count - known);
        x(known + 1:known + take) = mulmod(jump, x(1:take), modulus);
        known = known + take;
        jump = mulmod(jump, jump, modulus);
    end
end
U = reshape(x / modulus, m, n);
end

function z = mulmod(a, x, modulus)
% a*x mod modulus for residues a (scalar) and x below 2^31, exactly.
high = floor(x / 65536);
low = x - high * 65536;
z = mod(a * high, modulus);
z = mod(z * 65536 + a * low, modulus);
end
