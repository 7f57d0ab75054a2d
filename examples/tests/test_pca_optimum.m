% TEST_PCA_OPTIMUM  With lambda = 0 both pair rules reach the PCA optimum.
%
% The minimum of -1/2 tr(X'CX) over X'X = I is -1/2 times the sum of the r
% largest eigenvalues of C (Ky Fan). From the default random start, at
% n = 100 and r = 5, each rule must get within 1e-6 relative of it, and
% the columns of X must span the leading eigenvectors.

n = 100;
r = 5;
U = seeded_uniform(n, n, 3) - 0.5;
C = U * U';
[E, D] = eig(C);
[lambdas, order] = sort(diag(D), 'descend');
E = E(:, order(1:r));
F_opt = -0.5 * sum(lambdas(1:r));
fprintf('eigengap lambda_%d - lambda_%d = %.3f\n', r, r + 1, lambdas(r) - lambdas(r + 1));

rules = {'zandrel', 'tolmiv'};
for k = 1:numel(rules)
    [X, hist] = sparse_pca_two_index(C, r, struct('rule', rules{k}));
    gap = (hist.objective(end) - F_opt) / abs(F_opt);
    outside = norm(X - E * (E' * X), 'fro');
    fprintf('%-8s %6d iterations (%s), %.2f s: relative gap %.1e, part outside the eigenspace %.1e\n', ...
        rules{k}, hist.iterations, hist.stop_reason, hist.elapsed, gap, outside);
    assert(strcmp(hist.rule, rules{k}), 'wrong rule recorded');
    assert(gap >= -1e-12, [rules{k} ': below the optimum, impossible for a feasible X']);
    assert(gap <= 1e-6, [rules{k} ': did not reach the PCA optimum']);
    assert(outside <= 1e-3, [rules{k} ': X does not span the leading eigenvectors']);
end
fprintf('test_pca_optimum: passed\n');
