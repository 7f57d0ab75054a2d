function test_sparse_pca_sparsity()
% The sparsity asked for, the re-fit on the support, the starts and the
% path: properties that hold on every generated problem.
check_nnz_targets();
check_refit();
check_starts();
check_path();
end

function C = planted_covariance(n, seed)
% Three correlated blocks of variables plus noise.
u = seeded_uniform(4 * n, n, seed) - 0.5;
f = seeded_uniform(4 * n, 3, seed + 1) - 0.5;
block = mod(0:n - 1, 3) + 1;
u = u + 2 * f(:, block) .* repmat(mod(1:n, 4) > 0, 4 * n, 1);
C = cov(u);
end

function check_nnz_targets()
for trial = 1:3
    n = 9 + 3 * trial;
    C = planted_covariance(n, 40 + trial);
    r = trial;
    for K = unique([r, r + 2, min(2 * n, n * r), n * r - 1])
        [X, info] = sparse_pca(C, r, 0, struct('nnz', K));
        s = info.search;
        assert(nnz(X) <= K, 'K = %d: %d nonzeros', K, nnz(X));
        assert(norm(X' * X - eye(r), 'fro') <= 1e-12, 'K = %d: X''X = I', K);
        if s.reached
            assert(nnz(X) == K, 'K = %d: reached, but %d nonzeros', K, nnz(X));
        end
        % The counts seen on either side of the target bracket it honestly.
        assert(isempty(s.below) || s.below.nnz <= K, 'below side above the target');
        assert(isempty(s.above) || s.above.nnz > K, 'above side not above the target');
        assert(s.solves == numel(s.trail) && s.solves >= 1, 'solves');
        for j = 1:numel(s.trail)
            assert(sum(s.trail(j).nnz) >= r, 'a column without nonzeros');
        end
    end
    goal = [min(n, 4), ones(1, r - 1)];
    [X, info] = sparse_pca(C, r, 0, struct('nnz_per_component', goal));
    assert(all(sum(X ~= 0, 1) <= goal) || ~info.search.within, 'per-column counts above target');
end
% One column: at the target count the loadings are the leading eigenvector
% on their support, and no support of that size keeps more than the best
% one found by enumeration.
C = planted_covariance(10, 60);
for K = [2 4 6]
    [x, info] = sparse_pca(C, 1, 0, struct('nnz', K));
    S = find(x);
    best = 0;
    sets = nchoosek(1:10, K);
    for i = 1:size(sets, 1)
        best = max(best, max(eig(C(sets(i, :), sets(i, :)))));
    end
    assert(info.variance <= best * (1 + 1e-12), 'K = %d: more than the exact optimum', K);
    assert(abs(x' * C * x - max(eig(C(S, S)))) <= 1e-10 * best, 'K = %d: not the eigenvector on S', K);
end
end

function check_refit()
for trial = 1:4
    n = 10 + 4 * trial;
    C = planted_covariance(n, 70 + trial);
    r = 1 + mod(trial, 3);
    for lambda = [0.05 0.2 0.5]
        [X, info] = sparse_pca(C, r, lambda, struct('refit', true));
        R = info.refit;
        Xb = R.X_before;
        assert(norm(X' * X - eye(r), 'fro') <= 1e-12, 'refit broke X''X = I');
        assert(R.adjusted_after >= R.adjusted_before * (1 - 1e-12), 'refit lowered the adjusted variance');
        assert(abs(R.adjusted_after - info.adjusted_variance) <= 1e-12 * R.adjusted_after, ...
            'refit reports another adjusted variance than the loadings keep');
        % No new nonzeros: every re-fit column lies on the support of a
        % column before (the columns may be reordered).
        assert(nnz(X) <= nnz(Xb), 'refit added nonzeros');
        for k = 1:r
            inside = false;
            for j = 1:r
                inside = inside || all(Xb(X(:, k) ~= 0, j) ~= 0);
            end
            assert(inside, 'refit moved a column off its support');
        end
        if r == 1
            S = find(Xb);
            [V, E] = eig(C(S, S));
            [~, at] = max(diag(E));
            assert(abs(abs(V(:, at)' * X(S)) - 1) <= 1e-10, 'r = 1: not the eigenvector on S');
        end
        [~, auto] = sparse_pca(C, r, lambda);
        assert(auto.adjusted_variance >= auto.refit.adjusted_before * (1 - 1e-12), ...
            '''auto'' kept a re-fit that loses adjusted variance');
        [Xn, off] = sparse_pca(C, r, lambda, struct('refit', false));
        assert(~off.refit.applied && isequal(Xn, off.refit.X_before), 'refit off still re-fit');
    end
end
end

function check_starts()
C = planted_covariance(15, 90);
[~, info] = sparse_pca(C, 3, 0.3, struct('starts', 4, 'refit', false));
s = info.starts;
assert(numel(s) == 4 && strcmp(s(1).kind, 'pca') && all(strcmp({s(2:end).kind}, 'random')), 'starts');
f = [s.f];
certified = strcmp({s.stop}, 'certified');
if any(certified)
    assert(info.f_solve == min(f(certified)), 'not the best certified start');
else
    assert(info.f_solve == min(f), 'not the best start');
end
[~, one] = sparse_pca(C, 3, 0.3, struct('starts', 1, 'refit', false));
assert(info.f_solve <= one.f_solve || ~strcmp(one.stop, 'certified'), 'more starts, worse F');
end

function check_path()
C = planted_covariance(14, 110);
r = 2;
lambdas = [0.4 0 0.1 0.2];
[p, X] = sparse_pca_path(C, r, lambdas);
assert(isequal(p.lambda, sort(lambdas)), 'path order');
assert(p.nnz(1) == 14 * r && abs(p.adjusted_explained_pca(1) - 1) <= 1e-10, ...
    'lambda = 0 on the path is not PCA');
ev = sort(eig(C), 'descend');
for k = 1:numel(lambdas)
    Xk = X{k};
    assert(norm(Xk' * Xk - eye(r), 'fro') <= 1e-12, 'path point %d: X''X = I', k);
    assert(p.nnz(k) == nnz(Xk), 'path point %d: nnz', k);
    assert(abs(p.variance(k) - trace(Xk' * C * Xk)) <= 1e-10 * sum(ev), 'path point %d: variance', k);
    assert(p.adjusted_variance(k) <= p.variance(k) * (1 + 1e-12) ...
        && p.variance(k) <= sum(ev(1:r)) * (1 + 1e-12), 'path point %d: bounds', k);
end
% The first point is an ordinary run of sparse_pca with the same options.
[X1, info] = sparse_pca(C, r, 0);
assert(isequal(X1, X{1}) && info.adjusted_variance == p.adjusted_variance(1), 'first point');
% Drawing into a file.
file = [tempname() '.png'];
sparse_pca_path(C, r, [0 0.2], struct('plot', file));
assert(exist(file, 'file') == 2, 'no picture drawn');
delete(file);
end
