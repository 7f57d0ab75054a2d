function [X, info] = sparse_pca(C, r, lambda, opts)
% SPARSE_PCA  Sparse principal components with exactly orthonormal loadings.
%
%   [X, INFO] = SPARSE_PCA(C, R, LAMBDA) solves
%
%       minimise   -1/2*trace(X'*C*X) + LAMBDA*sum(abs(X(:)))
%       subject to X'*X = I,        X is n-by-R,
%
%   for a symmetric positive semidefinite n-by-n matrix C (a covariance
%   matrix). LAMBDA = 0 is ordinary PCA; LAMBDA > 0 trades explained
%   variance for exact zeros in the loadings X. LAMBDA may also hold one
%   weight per column.
%
%   [X, INFO] = SPARSE_PCA(D, R, LAMBDA, struct('data', true)) takes the data
%   matrix D (m-by-n, one sample per row) instead and uses C = D'*D, without
%   forming anything larger than D needs. A non-square first argument is
%   always taken as data. (The common benchmark form -trace(X'*B'*B*X) +
%   mu*||X||_1 is SPARSE_PCA(sqrt(2)*B, R, mu, struct('data', true)).)
%
%   OPTS are those of ORTHOPAIR_SOLVE (rule, tol, tol_stat, time_limit,
%   seed, verbose, plot, ...) plus data and X0 (the start; default a seeded
%   random orthonormal matrix). INFO is ORTHOPAIR_SOLVE's. The variance the
%   loadings keep is trace(X'*C*X).
%
%   Example:
%       D = randn(200, 60);  D = D - mean(D);
%       [X, info] = sparse_pca(D, 3, 0.5, struct('data', true, 'verbose', true));
%       nnz(X)
%
%   See also ORTHOPAIR_SOLVE, ORTHOPAIR_POLISH, ORTHOPAIR_CERTIFY.

if nargin < 3
    error('sparse_pca:nargin', 'Call as sparse_pca(C, r, lambda) or sparse_pca(C, r, lambda, opts).');
end
if nargin < 4 || isempty(opts)
    opts = struct();
end
if ~isstruct(opts) || numel(opts) ~= 1
    error('sparse_pca:badOption', 'opts must be a scalar struct.');
end
if ~isnumeric(C) || ~ismatrix(C) || isempty(C) || ~isreal(C)
    error('sparse_pca:badC', 'C must be a non-empty real matrix.');
end
as_data = size(C, 1) ~= size(C, 2);
if isfield(opts, 'data')
    as_data = as_data || logical(opts.data);
    opts = rmfield(opts, 'data');
end
C = full(double(C));
if as_data
    C = C' * C;
end
C = 0.5 * (C + C');
start = r;
if isfield(opts, 'X0')
    if ~isempty(opts.X0)
        start = opts.X0;
    end
    opts = rmfield(opts, 'X0');
end
[X, info] = orthopair_solve(-C, [], lambda, start, opts);
end
