function test_sparse_pca_variance()
% What sparse_pca reports about variance matches plain computations from
% the scores, lambda = 0 gives the principal components, and data and
% covariance are two routes to the same problem.
check_principal_components();
check_variance_fields();
check_data_routes();
check_warnings_and_bad_calls();
end

function check_principal_components()
% lambda = 0: the leading eigenvectors, ordered, largest loading positive.
for trial = 1:4
    n = 6 + 5 * trial;
    r = 1 + mod(trial, 4);
    u = seeded_uniform(3 * n, n, 100 + trial) - 0.5;
    C = u' * u;
    [X, info] = sparse_pca(C, r, 0);
    [V, E] = eig(C);
    [e, idx] = sort(diag(E), 'descend');
    V = V(:, idx(1:r));
    for k = 1:r
        [~, at] = max(abs(V(:, k)));
        V(:, k) = V(:, k) * sign(V(at, k));
    end
    assert(norm(X - V, 'inf') <= 1e-10, 'lambda = 0, trial %d: not the principal components', trial);
    assert(abs(info.variance - sum(e(1:r))) <= 1e-10 * sum(e(1:r)), 'PCA variance');
    assert(abs(info.adjusted_explained_pca - 1) <= 1e-10, 'PCA keeps all of PCA''s variance');
    assert(strcmp(info.stop, 'certified'), 'principal components not certified: %s', info.stop);
end
% From data: the right singular vectors of the centred data.
D = seeded_uniform(40, 9, 7) - 0.5;
D(:, 2) = D(:, 2) + D(:, 1);
X = sparse_pca(D, 3, 0);
[V, E] = eig(cov(D));
[~, idx] = sort(diag(E), 'descend');
assert(norm(abs(X' * V(:, idx(1:3))) - eye(3), 'fro') <= 1e-10, 'data, lambda = 0');
end

function check_variance_fields()
% Against the QR factorisation of the scores of the centred data.
for trial = 1:5
    m = 30 + 10 * trial;
    n = 8 + trial;
    r = 1 + mod(trial, 3);
    D = seeded_uniform(m, n, 200 + trial) - 0.5;
    D(:, 1:3) = D(:, 1:3) + repmat(D(:, 4), 1, 3);
    lambda = 0.02 * trial;
    [X, info] = sparse_pca(D, r, lambda);
    Dc = D - repmat(mean(D, 1), m, 1);
    Z = Dc * X;
    [~, R] = qr(Z, 0);
    adjusted = diag(R)' .^ 2 / (m - 1);
    ev = sort(eig(cov(D)), 'descend');
    tol = 1e-10 * trace(cov(D));
    assert(norm(X' * X - eye(r), 'fro') <= 1e-12, 'X''X = I');
    assert(abs(info.variance - trace(Z' * Z) / (m - 1)) <= tol, 'variance');
    assert(norm(info.variance_per_component - sum(Z .^ 2, 1) / (m - 1)) <= tol, 'per component');
    assert(norm(info.adjusted_per_component - adjusted) <= tol, 'adjusted per component');
    assert(abs(info.adjusted_variance - sum(adjusted)) <= tol, 'adjusted variance');
    assert(abs(info.total_variance - trace(cov(D))) <= tol, 'total variance');
    assert(abs(info.pca_variance - sum(ev(1:r))) <= tol, 'PCA variance');
    assert(abs(info.adjusted_explained - sum(adjusted) / trace(cov(D))) <= 1e-10, 'share of total');
    assert(abs(info.explained_pca - info.variance / sum(ev(1:r))) <= 1e-10, 'share of PCA');
    % Facts: adjusted <= kept <= PCA's (Ky Fan); the first column adds the
    % most; the largest loading of each column is positive; F is F(X).
    assert(info.adjusted_variance <= info.variance + tol && info.variance <= info.pca_variance + tol, ...
        'adjusted <= variance <= PCA');
    assert(info.adjusted_per_component(1) >= max(info.adjusted_per_component) - tol, 'order');
    [~, at] = max(abs(X), [], 1);
    assert(all(X(sub2ind(size(X), at, 1:r)) > 0), 'sign convention');
    f = -0.5 * trace(Z' * Z) / (m - 1) + lambda * sum(abs(X(:)));
    assert(abs(info.f - f) <= 1e-10 * max(1, abs(f)), 'info.f is not F(X)');
    assert(info.nnz == nnz(X) && isequal(info.nnz_per_component, sum(X ~= 0, 1)), 'counts');
end
end

function check_data_routes()
% Data and its covariance give the same loadings: centred (divisor m - 1,
% as COV), standardised (CORRCOEF), raw Gram matrix, square data.
D = seeded_uniform(50, 8, 31) - 0.5;
D(:, 2) = D(:, 1) + 0.3 * D(:, 2);
D(:, 5) = 3 * D(:, 5);
% The re-fit's ascent stops once the variance settles to 1e-13, which
% leaves the loadings settled to about the square root of that.
same = @(A, B) norm(A - B, 'fro') <= 1e-6;
X1 = sparse_pca(D, 2, 0.05);
X2 = sparse_pca(cov(D), 2, 0.05);
assert(same(X1, X2), 'data and cov(D) differ');
X1 = sparse_pca(D, 2, 0.05, struct('standardize', true));
X2 = sparse_pca(corrcoef(D), 2, 0.05);
X3 = sparse_pca(cov(D), 2, 0.05, struct('standardize', true));
assert(same(X1, X2) && same(X2, X3), 'standardised data and the correlation matrix differ');
X1 = sparse_pca(D, 2, 0.2, struct('center', false, 'divisor', 1));
X2 = sparse_pca(D' * D, 2, 0.2);
assert(same(X1, X2), 'raw Gram route differs');
% lambda means the same whatever m: the data stacked twice is the same
% sample covariance up to (m-1)/(2m-1), so the weights must scale with it.
Xd = sparse_pca([D; D], 2, 0.05, struct('divisor', 2 * size(D, 1)));
Xs = sparse_pca(D, 2, 0.05, struct('divisor', size(D, 1)));
assert(same(Xd, Xs), 'duplicated samples change the problem');
S = D(1:8, :);
X1 = sparse_pca(S, 2, 0.01, struct('data', true));
X2 = sparse_pca(cov(S), 2, 0.01);
assert(same(X1, X2), 'square data taken as data');
end

function check_warnings_and_bad_calls()
% The warning is turned into an error to see it without printing it.
state = warning('error', 'sparse_pca:notPSD');
expect_error('sparse_pca:notPSD', @() sparse_pca([1 2 0; 2 1 0; 0 0 1], 1, 0.1));
warning(state);
lastwarn('');
sparse_pca(eye(3) + 0.1, 1, 0.1);
[~, id] = lastwarn();
assert(isempty(id), 'a warning for a PSD C: %s', id);
C = eye(5);
expect_error('sparse_pca:badOption', @() sparse_pca(C, 2, 0.1, struct('nnz', 1)));
expect_error('sparse_pca:badOption', ...
    @() sparse_pca(C, 2, 0.1, struct('nnz', 3, 'nnz_per_component', [1 2])));
expect_error('sparse_pca:badOption', @() sparse_pca(C, 2, 0.1, struct('nnz_per_component', [1 6])));
expect_error('sparse_pca:badOption', @() sparse_pca(C, 2, 0.1, struct('colour', 1)));
expect_error('sparse_pca:badLambda', @() sparse_pca(C, 2, [0.1 0.2 0.3]));
expect_error('sparse_pca:badLambda', @() sparse_pca(C, 2, -1));
expect_error('sparse_pca:badR', @() sparse_pca(C, 6, 0.1));
expect_error('sparse_pca:badX0', @() sparse_pca(C, 2, 0.1, struct('X0', eye(5, 3))));
expect_error('sparse_pca:badC', @() sparse_pca([1 NaN; 2 3; 4 5], 1, 0.1));
expect_error('sparse_pca_path:badLambda', @() sparse_pca_path(C, 2, [0.1 -1]));
expect_error('sparse_pca_path:badOption', @() sparse_pca_path(C, 2, 0.1, struct('nnz', 3)));
end
