function S = scale_instance(n, m, r, lambda, seed)
% SCALE_INSTANCE  A sparse-PCA instance of the benchmark's recipe at any size.
%
%   S = SCALE_INSTANCE(N, M, R, LAMBDA) builds the data of
%
%       minimise  F(X) = -trace(X'*B'*B*X) + LAMBDA*sum(abs(X(:)))  s.t. X'*X = I
%
%   by the recipe of the shared peer instances: B is M-by-N with standard
%   normal entries, each column centred and then scaled to unit norm, and
%   the start X0 is an N-by-R matrix with orthonormal columns. The numbers
%   come from the portable generator of SEEDED_UNIFORM, so an instance is
%   the same in every host and every run:
%     B   Box-Muller, sqrt(-2*log(U1)) .* cos(2*pi*U2), with U1 and U2 the
%         M-by-N uniforms of seeds 1000 + SEED and 2000 + SEED;
%     X0  the orthonormal factor of the N-by-R uniforms of seed 3000 + SEED,
%         less 0.5, with the signs that make diag(R) of its QR positive.
%   S = SCALE_INSTANCE(..., SEED) picks the seed (default 1). For one seed
%   and M, the instances of every N share their first columns of B, and X0
%   depends on N and R only.
%
%   S has the fields B, X0, lambda, n, m, r, seed and name
%   ('own_n<N>_m<M>_r<R>_mu<LAMBDA>_s<SEED>').
%
%   Example:
%       S = scale_instance(500, 50, 5, 0.8);
%       norm(S.X0' * S.X0 - eye(5))
%
%   See also SEEDED_UNIFORM_FAST, SCALE_BENCHMARK.

if nargin < 5
    seed = 1;
end
u1 = seeded_uniform_fast(m, n, 1000 + seed);
u2 = seeded_uniform_fast(m, n, 2000 + seed);
B = sqrt(-2 * log(u1)) .* cos(2 * pi * u2);
clear u1 u2
B = B - repmat(mean(B, 1), m, 1);
B = B ./ repmat(sqrt(sum(B .^ 2, 1)), m, 1);
[X0, R] = qr(seeded_uniform_fast(n, r, 3000 + seed) - 0.5, 0);
d = sign(diag(R));
d(d == 0) = 1;
X0 = X0 .* repmat(d', n, 1);
S = struct('B', B, 'X0', X0, 'lambda', lambda, 'n', n, 'm', m, 'r', r, 'seed', seed, ...
    'name', sprintf('own_n%d_m%d_r%d_mu%g_s%d', n, m, r, lambda, seed));
end
