function ratio = step_speed(n, r, steps)
% STEP_SPEED  Time per pair step: the native loop against the plain .m loop.
%
%   RATIO = STEP_SPEED(N, R, STEPS) times STEPS greedy pair steps (rule
%   'zandrel', every step one selector call, one BREVAK solve and the rank-2
%   update of A*X) on a sparse-PCA problem of the peer recipe, once in the
%   readable .m loop SPARSE_PCA_TWO_INDEX and once in the native loop
%   ORTHOPAIR_RUN, side by side in one process, and prints both times per
%   step and their ratio. Checks are switched off in both, so the loops do
%   the same work per step.
if nargin < 3
    steps = 3000;
end
m = 50;
u1 = seeded_uniform(m, n, 11);
u2 = seeded_uniform(m, n, 12);
B = sqrt(-2 * log(u1)) .* cos(2 * pi * u2);
B = B - repmat(mean(B, 1), m, 1);
B = B ./ repmat(sqrt(sum(B .^ 2, 1)), m, 1);
C = 2 * (B' * B);
[X0, ~] = qr(seeded_uniform(n, r, 13) - 0.5, 0);
lambda = 0.8;

orthopair_seed(1);
clock = tic;
sparse_pca_two_index(C, r, struct('lambda', lambda, 'X0', X0, 'max_iter', steps, ...
    'check_every', steps, 'stall_iter', steps, 'tol', 0));
t_m = toc(clock) / steps;

% The run's own generator with seed 1 draws what zandrel drew above.
run_opts = struct('rule', 'zandrel', 'max_iter', steps, 'certify', false, 'seed', 1);
clock = tic;
[~, info] = orthopair_run(-C, [], lambda, X0, run_opts);
t_native = toc(clock) / info.iterations;
ratio = t_m / t_native;
fprintf('n = %d, r = %d, %d steps: .m loop %.1f us/step, native %.1f us/step, ratio %.1fx\n', ...
    n, r, steps, 1e6 * t_m, 1e6 * t_native, ratio);
end
