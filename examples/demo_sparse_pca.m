% DEMO_SPARSE_PCA  Sparse PCA with exactly orthonormal loadings, on data with planted sparse components.
%
%   Generates samples whose covariance carries r = 3 sparse directions
%   ("planted" components, each with 8 nonzero loadings on its own set of
%   variables) buried in unit-variance noise over n = 150 variables, forms
%   the sample covariance C, and runs SPARSE_PCA twice:
%
%     1. lambda = 0, from a seeded random orthonormal start: ordinary PCA,
%        checked against the optimum that EIG gives;
%     2. lambda = 0.7, from the PCA solution: the L1 term turns the three
%        directions into sparse loadings, each supported on one planted set.
%        (From the random start the run ends at a poorer local minimum in
%        which one column holds a single variable.)
%
%   Both runs stop 'certified': no pair of rows can lower F by more than
%   1e-10*max(1, |F|) with its best 2-by-2 orthogonal step, and the
%   least-norm projected subgradient is below 1e-6 relative to the gradient.
%
%   It prints the progress of both runs and a summary (objective,
%   feasibility, sparsity, recovered against planted support, time) and, if
%   the host can draw, saves the objective histories as a PNG in the folder
%   named by the variable png_dir when it is set, else in tempdir. Needs the
%   MEX-files (orthopair_run, orthopair_seed, brevak, zandrel) and the
%   solver's .m files on the path.
%
%   Afterwards the workspace holds, among others, C, U_planted, X_pca, X,
%   hist_pca, hist_sparse and support_recovered (true when every column's
%   support equals the support of its planted component).
%
%   Every random number of the problem comes from SEEDED_UNIFORM, so the
%   problem is the same in MATLAB and Octave.

demo_clock = tic;
n_vars = 150;            % variables
n_samples = 400;         % samples
r = 3;                   % planted components
card = 8;                % nonzero loadings per component
strength = [10 7 5];     % variance added along each component
lambda = 0.7;            % L1 weight of the sparse run

fprintf('\n== Sparse PCA by two-row orthogonal steps ==\n\n');
fprintf(['Problem: %d samples of %d variables = %d PLANTED sparse components ' ...
    '(%d nonzero loadings each,\n         disjoint supports, variances %s) + unit noise;\n' ...
    '         C = sample covariance.\n'], n_samples, n_vars, r, card, mat2str(strength));

% ---- the planted components --------------------------------------------
% Supports: the first r*card variables of a seeded random permutation.
[ignored, perm] = sort(seeded_uniform(1, n_vars, 101));
U_planted = zeros(n_vars, r);
for k = 1:r
    rows = sort(perm((k - 1) * card + (1:card)));
    magnitude = 0.5 + 0.5 * seeded_uniform(card, 1, 200 + k);
    signs = sign(seeded_uniform(card, 1, 300 + k) - 0.5);
    loading = magnitude .* signs;
    U_planted(rows, k) = loading / norm(loading);
end

% ---- samples and covariance ------------------------------------------------
% Standard normal numbers by the Box-Muller transform of seeded uniforms.
u1 = seeded_uniform(n_samples, n_vars + r, 11);
u2 = seeded_uniform(n_samples, n_vars + r, 12);
normal = sqrt(-2 * log(u1)) .* cos(2 * pi * u2);
noise = normal(:, 1:n_vars);
factors = normal(:, n_vars + 1:end);
data = noise + factors * diag(sqrt(strength)) * U_planted';
C = (data' * data) / n_samples;
clear u1 u2 normal noise factors data

eigenvalues = sort(eig(C), 'descend');
f_pca = -0.5 * sum(eigenvalues(1:r));
fprintf('         optimum of plain PCA (from eig): -1/2 * sum of %d largest eigenvalues = %.10f\n', ...
    r, f_pca);

% ---- run 1: plain PCA --------------------------------------------------------
fprintf('\n-- Run 1: lambda = 0 (PCA) from a random orthonormal start (seed 1) --\n');
% The start: a seeded random orthonormal matrix (sparse_pca would
% otherwise start from the principal components themselves).
[Q0, R0] = qr(seeded_uniform(n_vars, r, 2) - 0.5, 0);
X_start = Q0 * diag(sign(diag(R0)));
[X_pca, hist_pca] = sparse_pca(C, r, 0, struct('X0', X_start, 'seed', 1, 'verbose', true));
fprintf('relative gap to the eig optimum: %.2e\n', (hist_pca.f - f_pca) / abs(f_pca));

% ---- run 2: sparse PCA -------------------------------------------------------
% Started from the PCA solution. Sparse PCA is not convex: from the random
% start the run ends at a certified point whose second column holds a single
% variable (F = -6.30), while from the PCA solution it finds the planted
% supports (F = -7.59). The run ends only when no pair of rows can lower F by
% more than tol*max(1, |F|) with its best 2-by-2 orthogonal step AND the
% least-norm projected subgradient vanishes: the two conditions that
% "certified" stands for (see ORTHOPAIR_CERTIFY).
fprintf('\n-- Run 2: lambda = %g, started from the PCA solution --\n', lambda);
% (No re-fit of the loadings on the support found: the point shown is the
% solver's own, the one the certificates speak of. Progress lines at the
% start and at the end of each phase only, not by elapsed time, so that the
% lines shown are the same on any machine.)
[X, hist_sparse] = sparse_pca(C, r, lambda, struct('X0', X_pca, 'seed', 1, 'verbose', true, ...
    'refit', false, 'print_interval', 0));

% ---- summary -----------------------------------------------------------------
% Match each column of X to the planted component it is most aligned with.
alignment = abs(X' * U_planted);
match = zeros(1, r);
remaining = alignment;
for k = 1:r
    [best, at] = max(remaining(:));
    [col, comp] = ind2sub(size(remaining), at);
    match(col) = comp;
    remaining(col, :) = -Inf;
    remaining(:, comp) = -Inf;
end

feasibility = norm(X' * X - eye(r), 'fro');
explained = trace(X' * C * X) / sum(eigenvalues(1:r));

fprintf('\n== Summary ==\n');
fprintf('objective F(X)              %.10f  (stopped: %s after %d iterations)\n', ...
    hist_sparse.f, hist_sparse.stop, hist_sparse.iterations);
fprintf('best single pair step gains %.1e of |F|; least-norm projected subgradient %.1e of ||grad f||\n', ...
    hist_sparse.pair_gap, hist_sparse.stationarity / hist_sparse.stationarity_scale);
fprintf('feasibility ||X''X - I||_F   %.2e\n', feasibility);
fprintf('sparsity                    %d of %d entries nonzero (%.1f%%), %d of %d variables used\n', ...
    nnz(X), numel(X), 100 * nnz(X) / numel(X), sum(any(X ~= 0, 2)), n_vars);
fprintf('variance explained          %.1f%% of what the %d leading eigenvectors explain\n', ...
    100 * explained, r);
% Support. The variables used are the rows of X with a nonzero entry. A
% column may carry, besides its own component's variables, a few tiny
% cross-loadings on variables of the other components: orthogonality
% couples the columns, and removing them costs more in the L1 term than it
% saves. The planted support counts as recovered when the variables used are
% exactly the planted ones and every column holds all of its component's
% variables, with each of those loadings larger than any of its
% cross-loadings.
used = find(any(X ~= 0, 2));
planted_rows = find(any(U_planted ~= 0, 2));
rows_match = isequal(used(:), planted_rows(:));
fprintf('variables used              %d; planted %d; in both %d\n', numel(used), ...
    numel(planted_rows), numel(intersect(used, planted_rows)));
fprintf('support, column by column:\n');
support_recovered = rows_match;
for col = 1:r
    comp = match(col);
    own = U_planted(:, comp) ~= 0;
    on = abs(X(own, col));
    off = abs(X(~own & X(:, col) ~= 0, col));
    held = all(on > 0);
    separated = isempty(off) || min(on) > max(off);
    support_recovered = support_recovered && held && separated;
    if isempty(off)
        cross = 'no cross-loadings';
    else
        cross = sprintf('%d cross-loadings, largest %.1e', numel(off), max(off));
    end
    fprintf('  column %d ~ planted component %d: |<x, u>| = %.4f, %d of its %d variables (smallest loading %.3f), %s\n', ...
        col, comp, alignment(col, comp), sum(on > 0), numel(on), min(on), cross);
end
if support_recovered
    fprintf('planted support recovered:  yes\n');
else
    fprintf('planted support recovered:  NO\n');
end
fprintf('time                        %.2f s (PCA run %.2f s, sparse run %.2f s)\n', ...
    toc(demo_clock), hist_pca.time, hist_sparse.time);

% ---- picture, where the host can draw ------------------------------------
if exist('png_dir', 'var') ~= 1 || isempty(png_dir)
    png_dir = tempdir;
end
png_file = fullfile(png_dir, 'sparse_pca_objective.png');
old_warnings = warning('off', 'Octave:gnuplot-graphics');
try
    fig = figure('visible', 'off');
    set(fig, 'PaperUnits', 'inches', 'PaperPosition', [0 0 8 8]);
    subplot(2, 1, 1);
    gap = hist_pca.history.f - f_pca;
    keep = gap > 0;
    steps = hist_pca.history.iteration;
    % Iterations on a log scale: a few proximal steps do most of the work,
    % then the passes over all pairs certify the point.
    loglog(steps(keep) + 1, gap(keep), 'bo-');
    decades = floor(log10(min(gap(keep)))):3:ceil(log10(max(gap(keep))));
    set(gca, 'YTick', 10 .^ decades);
    grid on;
    ylabel('F - F_{eig}');
    title('Run 1: lambda = 0, gap to the PCA optimum from eig');
    subplot(2, 1, 2);
    semilogx(hist_sparse.history.iteration + 1, hist_sparse.history.f, 'ro-');
    grid on;
    xlabel('iteration + 1 (pair steps, proximal steps and screened pairs of the passes)');
    ylabel('F');
    title(sprintf('Run 2: lambda = %g, objective F', lambda));
    print(fig, '-dpng', png_file);
    close(fig);
    fprintf('objective history saved to  %s\n', png_file);
catch err
    fprintf('no picture: this host cannot draw here (%s)\n', err.message);
end
warning(old_warnings);
clear old_warnings fig gap keep steps Q0 R0 decades ignored best at col comp own on off held separated cross remaining k rows magnitude signs loading
