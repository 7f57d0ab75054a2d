function [path, X] = sparse_pca_path(C, r, lambdas, opts)
% SPARSE_PCA_PATH  Sparse PCA along a grid of weights: nonzeros against variance kept.
%
%   PATH = SPARSE_PCA_PATH(C, R, LAMBDAS) runs SPARSE_PCA for each weight in
%   LAMBDAS (scalars >= 0, taken in increasing order), each run started from
%   the loadings of the run before it (a warm start), and returns the curve:
%   how many nonzero loadings each weight leaves and how much variance they
%   keep. C is a covariance matrix or, as for SPARSE_PCA, a data matrix.
%   The first weight is solved from SPARSE_PCA's default starts; the others
%   from the warm start alone, which is what makes the path cheaper than as
%   many separate runs.
%
%   [PATH, X] = SPARSE_PCA_PATH(...) also returns the loadings, X{k} for
%   PATH.lambda(k).
%
%   OPTS are those of SPARSE_PCA (data, center, standardize, divisor,
%   starts for the first weight, refit, seed, tol, ...), except that plot
%   here means:
%     plot   true: draw the curve (adjusted variance in % of the total
%            against nonzeros, beside the level of PCA with R components);
%            a file name: draw it into that PNG file (false).
%
%   PATH fields, one entry per weight (rows of the per-component arrays):
%     lambda, nnz, nnz_per_component, variance, adjusted_variance,
%     explained, adjusted_explained (shares of the total variance),
%     adjusted_explained_pca (share of PCA's variance with R components),
%     refit (re-fit applied), stop, time (seconds per run);
%     and total_variance, pca_variance, pca_explained, total_time.
%
%   Example:
%       D = seeded_uniform(150, 10, 3) - 0.5;  D(:, 1:3) = D(:, 1:3) + D(:, 4);
%       path = sparse_pca_path(D, 2, linspace(0, 0.05, 12));
%       [path.nnz; 100 * path.adjusted_explained]
%
%   See also SPARSE_PCA.

if nargin < 3
    error('sparse_pca_path:nargin', 'Call as sparse_pca_path(C, r, lambdas) or with opts.');
end
if nargin < 4 || isempty(opts)
    opts = struct();
end
if ~isstruct(opts) || numel(opts) ~= 1
    error('sparse_pca_path:badOption', 'opts must be a scalar struct.');
end
if ~isnumeric(lambdas) || isempty(lambdas) || ~isreal(lambdas) || any(~isfinite(lambdas(:))) ...
        || any(lambdas(:) < 0)
    error('sparse_pca_path:badLambda', 'lambdas must be a non-empty list of weights >= 0.');
end
plot_to = [];
if isfield(opts, 'plot')
    plot_to = opts.plot;
    opts = rmfield(opts, 'plot');
end
for name = {'nnz', 'nnz_per_component', 'X0'}
    if isfield(opts, name{1})
        error('sparse_pca_path:badOption', 'Option ''%s'' does not apply to a path.', name{1});
    end
end
lambdas = sort(double(lambdas(:)'));
L = numel(lambdas);
path = struct('lambda', lambdas, 'nnz', zeros(1, L), 'nnz_per_component', zeros(L, r), ...
    'variance', zeros(1, L), 'adjusted_variance', zeros(1, L), 'explained', zeros(1, L), ...
    'adjusted_explained', zeros(1, L), 'adjusted_explained_pca', zeros(1, L), ...
    'refit', false(1, L), 'stop', {cell(1, L)}, 'time', zeros(1, L));
X = cell(1, L);
clock = tic;
warm = [];
for k = 1:L
    o = opts;
    if ~isempty(warm)
        o.X0 = warm;
        o.starts = 1;
    end
    started = tic;
    [Xk, info] = sparse_pca(C, r, lambdas(k), o);
    path.time(k) = toc(started);
    % The next run starts from the solver's own point, not the re-fit one:
    % that is where the L1 term left the support.
    warm = info.refit.X_before;
    X{k} = Xk;
    path.nnz(k) = info.nnz;
    path.nnz_per_component(k, :) = info.nnz_per_component;
    path.variance(k) = info.variance;
    path.adjusted_variance(k) = info.adjusted_variance;
    path.explained(k) = info.explained;
    path.adjusted_explained(k) = info.adjusted_explained;
    path.adjusted_explained_pca(k) = info.adjusted_explained_pca;
    path.refit(k) = info.refit.applied;
    path.stop{k} = info.stop;
    if k == 1
        path.total_variance = info.total_variance;
        path.pca_variance = info.pca_variance;
        path.pca_explained = info.pca_variance / info.total_variance;
    end
end
path.total_time = toc(clock);
if ~isempty(plot_to) && ~(islogical(plot_to) && ~plot_to)
    draw(path, r, plot_to);
end
end

function draw(path, r, plot_to)
to_file = ischar(plot_to);
old_warnings = warning('off', 'Octave:gnuplot-graphics');
visible = 'on';
if to_file
    visible = 'off';
end
fig = figure('visible', visible);
plot(path.nnz, 100 * path.adjusted_explained, 'bo-', ...
    [min(path.nnz), max(path.nnz)], 100 * path.pca_explained * [1 1], 'k--');
xlabel('nonzero loadings');
ylabel('adjusted variance, % of total');
legend({'sparse PCA', sprintf('PCA, %d components', r)}, 'location', 'southeast');
title(sprintf('Sparse PCA path, r = %d', r));
grid on;
if to_file
    print(fig, plot_to, '-dpng');
    close(fig);
end
warning(old_warnings);
end

%!test
%! % One run per weight, in increasing order; the first weight (0) keeps
%! % PCA's variance, and every point's loadings are orthonormal.
%! D = seeded_uniform(100, 8, 33) - 0.5;
%! D(:, 1:3) = D(:, 1:3) + D(:, 4);
%! [path, X] = sparse_pca_path(D, 2, [0.02 0 0.05]);
%! assert(isequal(path.lambda(:)', [0 0.02 0.05]));
%! assert(numel(X) == 3 && path.nnz(1) == 16);
%! assert(abs(path.variance(1) - path.pca_variance) < 1e-10 * path.pca_variance);
%! for k = 1:3
%!   assert(norm(X{k}' * X{k} - eye(2), 'fro') < 1e-12);
%!   assert(path.nnz(k) == nnz(X{k}));
%! end
%!error id=sparse_pca_path:nargin sparse_pca_path(eye(3), 1)
