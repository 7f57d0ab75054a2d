% TEST_DESCENT_FEASIBILITY  Thousands of two-row steps never increase F and
% keep X'X = I, with both pair rules, with and without the L1 term.
%
% Each step minimises its subproblem exactly over O(2) and V = I is always a
% candidate, so F may rise only by rounding: at most 1e-12 relative to the
% size of F. Left-multiplication by orthogonal 2x2 matrices keeps X'X = I
% up to rounding, which must not build up: 1e-12 after 5000 steps. The
% objective in the history must be F of the returned X, and the runs must
% really move (a solver that always answered V = I would pass the rest).

n = 60;
r = 4;
steps = 5000;
D = seeded_uniform(200, n, 31) - 0.5;
D(:, 1:6) = D(:, 1:6) + 2 * repmat(seeded_uniform(200, 1, 32) - 0.5, 1, 6);
C = (D' * D) / 200;
rules = {'zandrel', 'tolmiv'};
for k = 1:numel(rules)
    for lambda = [0 0.05]
        opts = struct('rule', rules{k}, 'lambda', lambda, 'max_iter', steps, ...
            'tol', 0, 'stall_iter', 10 * steps, 'seed', 3);
        [X, hist] = sparse_pca_two_index(C, r, opts);
        label = sprintf('%s, lambda %g', rules{k}, lambda);
        assert(strcmp(hist.rule, rules{k}), [label ': wrong rule recorded']);
        assert(hist.iterations == steps, [label ': run ended early']);
        assert(isequal(size(hist.pairs), [steps 2]) && all(hist.pairs(:, 1) ~= hist.pairs(:, 2)), ...
            [label ': pairs must be distinct rows']);

        F = hist.objective;
        size_F = max(abs(F));
        rise = max(diff(F));
        feas = norm(X' * X - eye(r), 'fro');
        F_end = -0.5 * sum(sum(X .* (C * X))) + lambda * sum(abs(X(:)));
        fprintf('%-18s F %.12f -> %.12f, largest rise %.1e, |X''X - I| %.1e, nnz %d/%d\n', ...
            label, F(1), F(end), rise, feas, nnz(X), numel(X));

        assert(rise <= 1e-12 * size_F, [label ': F increased']);
        assert(feas <= 1e-12 && max(hist.feasibility) <= 1e-12, [label ': X''X drifted from I']);
        assert(abs(F(end) - F_end) <= 1e-12 * size_F, [label ': history is not F of the returned X']);
        assert(sum(diff(F) < 0) >= 100 && F(end) < F(1) - 0.1 * abs(F(1)), [label ': the run did not move']);
        if lambda > 0
            assert(nnz(X) < numel(X), [label ': the L1 term produced no exact zeros']);
        end
    end
end
fprintf('test_descent_feasibility: passed\n');
