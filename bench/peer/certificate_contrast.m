function certificate_contrast(folder)
% CERTIFICATE_CONTRAST  Why 'certified' asks for both conditions.
%
%   CERTIFICATE_CONTRAST(FOLDER) shows, with ORTHOPAIR_CERTIFY's plain
%   measurements, that neither stationarity condition implies the other:
%
%   1. On a planted sparse-PCA instance, pair steps alone (every pair swept
%      until none lowers F) end where condition (a) holds, no pair of rows
%      can lower F, yet the least-norm projected subgradient (b) is far from
%      zero: the point carries small cross-loadings that only a step moving
%      many rows at once removes. Polishing from there lowers F.
%   2. At the point where proximal-gradient steps alone stop (the method of
%      ManPG-Ada), (b) holds to its tolerance, yet an exhaustive pass finds
%      pairs of rows, swaps and reflections among them, whose exact step
%      lowers F: condition (a) fails.
%
%   FOLDER holds the peer instances (spca_*.mat); the second part uses
%   spca_n100_r10_seed1.mat.

% ---- 1. planted instance: pairs alone stop short of (b) ----------------
n = 120; r = 4; card = 6; m = 60;
[~, perm] = sort(seeded_uniform(1, n, 501));
U = zeros(n, r);
for k = 1:r
    rows = perm((k - 1) * card + (1:card));
    U(rows, k) = (0.5 + 0.5 * seeded_uniform(card, 1, 510 + k)) .* sign(seeded_uniform(card, 1, 520 + k) - 0.5);
    U(:, k) = U(:, k) / norm(U(:, k));
end
u1 = seeded_uniform(m, n + r, 531);
u2 = seeded_uniform(m, n + r, 532);
Z = sqrt(-2 * log(u1)) .* cos(2 * pi * u2);
D = 0.3 * Z(:, 1:n) + Z(:, n + 1:end) * diag([6 5 4 3]) * U';
C = (D' * D) / m;
lambda = 0.3;
[X0, ~] = qr(seeded_uniform(n, r, 533) - 0.5, 0);
[Xp, ip] = sparse_pca(C, r, lambda, struct('X0', X0, 'rule', 'sweep', 'prox', false, 'seed', 1, 'refit', false));
cp = orthopair_certify(-C, [], lambda, Xp);
[Xm, report] = orthopair_polish(-C, [], lambda, Xp);
fprintf('1. planted instance, n = %d, r = %d, lambda = %g\n', n, r, lambda);
fprintf('   pair steps alone stop (%s) at F = %.10f\n', ip.stop, cp.f);
fprintf('     (a) best pair step gains %.1e of |F|   (b) least-norm subgradient %.1e (%.1e relative)\n', ...
    cp.pair_gap, cp.stationarity, cp.relative_stationarity);
fprintf('   polishing with both kinds of steps: F = %.10f (gain %.2e), %s\n', report.f_after, ...
    report.gain, report.stop);
fprintf('     cross-loadings: %d nonzeros before, %d after\n', nnz(Xp), nnz(Xm));

% ---- 2. ManPG-like point: (b) holds, (a) does not ----------------------
S = load(fullfile(folder, 'spca_n100_r10_seed1.mat'));
A = -2 * (S.B' * S.B);
[Xq, iq] = orthopair_solve(A, [], S.lambda, S.X0, struct('rule', 'prox'));
cq = orthopair_certify(A, [], S.lambda, Xq);
[~, report] = orthopair_polish(A, [], S.lambda, Xq);
fprintf('2. %s: proximal-gradient steps alone stop (%s) at F = %.10f (ManPG-Ada: %.10f)\n', ...
    'spca_n100_r10_seed1', iq.stop, cq.f, S.manpg_ada_F);
fprintf('     (b) least-norm subgradient %.1e relative   (a) best pair step (rows %d, %d) gains %.1e of |F|\n', ...
    cq.relative_stationarity, cq.pair_best(1), cq.pair_best(2), cq.pair_gap);
fprintf('   polishing: F = %.10f (gain %.2e), %s\n', report.f_after, report.gain, report.stop);
end
