function results = real_data_benchmark(out_dir, opts)
% REAL_DATA_BENCHMARK  Sparse PCA on real data: variance kept against nonzeros.
%
%   RESULTS = REAL_DATA_BENCHMARK(OUT_DIR, OPTS) measures SPARSE_PCA with its
%   default options on
%     - pitprops (the 13-by-13 correlation matrix): six components at 13, 18
%       and 25 nonzeros against the published TPower, SPCA and sPCA-rSVD
%       points; one component at 5 and 10 nonzeros against the exact optimum
%       over all supports of that size; lambda = 0 against the principal
%       components; a 12-point path against 12 separate runs;
%     - wine, breast cancer, diabetes and digits (the files that ship with
%       scikit-learn, standardised): the curve of adjusted variance against
%       nonzeros, and, when OPTS.sklearn_csv names the output of
%       sklearn_sparse_pca.py, scikit-learn's SparsePCA at each of its
%       counts against ours asked for the same count;
%   and writes OUT_DIR/real-data.md (tables), OUT_DIR/real-data.csv (every
%   point) and OUT_DIR/real-data.png (the curves).
%
%   OPTS fields: pitprops (file), data_dir (scikit-learn's data folder),
%   sklearn_csv ('' for none), ranks (components for the four sets, [2 4]),
%   sparse_opts (options of SPARSE_PCA for the comparison with scikit-learn;
%   default none).
%   Adjusted variance is measured the same way for every method: the
%   columns scaled to unit norm, ordered greedily by what each adds, and the
%   squared diagonal of R in the QR factorisation of the scores.
%
%   Timings are wall-clock on whatever else the machine is doing.

if nargin < 2
    opts = struct();
end
pitprops_file = get_opt(opts, 'pitprops', '../shared/real-data/pitprops.csv');
data_dir = get_opt(opts, 'data_dir', '/usr/lib/python3/dist-packages/sklearn/datasets/data');
sk_csv = get_opt(opts, 'sklearn_csv', '');
ranks = get_opt(opts, 'ranks', [2 4]);
extra = get_opt(opts, 'sparse_opts', struct());
if ~exist(out_dir, 'dir')
    mkdir(out_dir);
end
md = {};
rows = {};   % dataset, r, method, nnz, adjusted % of total, % of PCA's

% ---- pitprops ------------------------------------------------------------
C = csvread(pitprops_file);
n = size(C, 1);
md{end + 1} = '## pitprops (13 variables, correlation matrix)';
md{end + 1} = '';
[X, info] = sparse_pca(C, 6, 0);
[V, E] = eig(C);
[~, idx] = sort(diag(E), 'descend');
V = V(:, idx(1:6));
for k = 1:6
    [~, at] = max(abs(V(:, k)));
    V(:, k) = V(:, k) * sign(V(at, k));
end
pc_error = max(abs(X(:) - V(:)));
md{end + 1} = sprintf(['lambda = 0, r = 6: largest difference from the principal components ' ...
    '(EIG, largest loading positive) %.1e; adjusted variance %.1f %% of the total.'], ...
    pc_error, 100 * info.adjusted_explained);
md{end + 1} = '';
md{end + 1} = '| r = 6, nonzeros at most | published (method, %) | ours, % | ours, per component | ours, nonzeros | search |';
md{end + 1} = '|---|---|---|---|---|---|';
published = struct('k', {13, 18, 25}, 'method', {'TPower', 'SPCA', 'sPCA-rSVD'}, ...
    'value', {72.0, 75.8, 80.3});
pit_points = zeros(0, 2);
for p = published
    clock = tic;
    [X, info] = sparse_pca(C, 6, 0, struct('nnz', p.k));
    t = toc(clock);
    a = 100 * adjusted_share(C, [], X);
    md{end + 1} = sprintf('| %d | %s %.1f | %.2f | %s | %d | %s, %d solves, %.2f s |', p.k, ...
        p.method, p.value, a, mat2str(info.nnz_per_component), info.nnz, info.search.method, ...
        info.search.solves, t);
    rows(end + 1, :) = {'pitprops', 6, 'published', p.k, p.value, NaN}; %#ok<AGROW>
end
% The curve: every count from 6 to 40.
for k = 6:40
    [X, info] = sparse_pca(C, 6, 0, struct('nnz', k));
    a = 100 * adjusted_share(C, [], X);
    pit_points(end + 1, :) = [info.nnz, a]; %#ok<AGROW>
    rows(end + 1, :) = {'pitprops', 6, 'ours', info.nnz, a, a / 87.0 * 100}; %#ok<AGROW>
end
md{end + 1} = '';
md{end + 1} = '| r = 1, nonzeros | ours, variance | exact optimum (all supports) | relative shortfall |';
md{end + 1} = '|---|---|---|---|';
for k = [5 10]
    [x, info] = sparse_pca(C, 1, 0, struct('nnz', k));
    sets = nchoosek(1:n, k);
    best = 0;
    for i = 1:size(sets, 1)
        best = max(best, max(eig(C(sets(i, :), sets(i, :)))));
    end
    md{end + 1} = sprintf('| %d | %.5f | %.5f | %.1e |', k, info.variance, best, ...
        (best - info.variance) / best); %#ok<AGROW>
end
% A path of 12 weights against 12 separate runs.
lambdas = linspace(0, 1.2, 12);
clock = tic;
path = sparse_pca_path(C, 6, lambdas);
t_path = toc(clock);
[t_default, t_single] = separate_runs(C, 6, lambdas, struct());
md{end + 1} = '';
md{end + 1} = sprintf(['12-point path, r = 6, lambda in [0, 1.2]: %.2f s; 12 separate runs with ' ...
    'default options %.2f s, with one start each %.2f s. Nonzeros along the path: %s.'], ...
    t_path, t_default, t_single, mat2str(path.nnz));
md{end + 1} = '';
curves = struct('name', 'pitprops', 'r', 6, 'ours', pit_points, 'sk', zeros(0, 2), ...
    'pub', [13 72.0; 18 75.8; 25 80.3], 'pca', 87.0);

% ---- the data sets that ship with scikit-learn ----------------------------
sk = read_sklearn_csv(sk_csv);
md{end + 1} = '## scikit-learn''s data sets (standardised)';
md{end + 1} = '';
md{end + 1} = ['At each count of nonzeros scikit-learn''s SparsePCA (default options, alpha ' ...
    'from a grid) ended with, ours asked for that count (nnz option, default options otherwise).'];
md{end + 1} = '';
md{end + 1} = '| data | r | alpha | nonzeros | SparsePCA, % | ours, % | ours - theirs | ours at least as good |';
md{end + 1} = '|---|---|---|---|---|---|---|---|';
wins = 0;
compared = 0;
timing = {};
for name = {'wine', 'breast_cancer', 'diabetes', 'digits'}
    D = read_set(data_dir, name{1});
    [m, n] = size(D);
    Cd = (D' * D) / (m - 1);
    ev = sort(eig(Cd), 'descend');
    for r = ranks
        pca_share = 100 * sum(ev(1:r)) / trace(Cd);
        counts = unique(round(logspace(log10(r), log10(n * r), 12)));
        ours = zeros(0, 2);
        for k = counts
            [X, info] = sparse_pca(D, r, 0, struct('nnz', k));
            a = 100 * adjusted_share(D, m - 1, X);
            ours(end + 1, :) = [info.nnz, a]; %#ok<AGROW>
            rows(end + 1, :) = {name{1}, r, 'ours', info.nnz, a, a / pca_share * 100}; %#ok<AGROW>
        end
        theirs = zeros(0, 2);
        for j = 1:numel(sk)
            if ~strcmp(sk(j).name, name{1}) || sk(j).r ~= r
                continue;
            end
            L = reshape(sk(j).loadings, n, r);
            k = nnz(L);
            if k < r || any(all(L == 0, 1))
                continue;     % a component with no loading at all
            end
            a_sk = 100 * adjusted_share(D, m - 1, L);
            o = extra;
            o.nnz = k;
            [X, info] = sparse_pca(D, r, 0, o);
            a = 100 * adjusted_share(D, m - 1, X);
            ok = a >= a_sk - 1e-9 && info.nnz <= k;
            wins = wins + ok;
            compared = compared + 1;
            theirs(end + 1, :) = [k, a_sk]; %#ok<AGROW>
            ours(end + 1, :) = [info.nnz, a]; %#ok<AGROW>
            rows(end + 1, :) = {name{1}, r, 'sklearn', k, a_sk, a_sk / pca_share * 100}; %#ok<AGROW>
            md{end + 1} = sprintf('| %s | %d | %g | %d | %.2f | %.2f | %+.2f | %s |', name{1}, r, ...
                sk(j).alpha, k, a_sk, a, a - a_sk, yesno(ok)); %#ok<AGROW>
        end
        curves(end + 1) = struct('name', name{1}, 'r', r, 'ours', sortrows(ours), ...
            'sk', theirs, 'pub', zeros(0, 2), 'pca', pca_share); %#ok<AGROW>
        if r == ranks(end)
            scale = ev(1) / sqrt(n);
            lam = linspace(0, 2 * scale, 12);
            clock = tic;
            sparse_pca_path(D, r, lam);
            t_path = toc(clock);
            [t_default, t_single] = separate_runs(D, r, lam, struct());
            timing{end + 1} = sprintf('| %s | %d | %.2f | %.2f | %.2f |', name{1}, r, t_path, ...
                t_default, t_single); %#ok<AGROW>
        end
    end
end
if compared > 0
    md{end + 1} = '';
    md{end + 1} = sprintf('Ours at least as good at %d of %d counts (%.0f %%).', wins, compared, ...
        100 * wins / compared);
else
    md{end + 1} = '';
    md{end + 1} = 'No scikit-learn results given (python3-sklearn missing?): no comparison.';
end
md{end + 1} = '';
md{end + 1} = '12-point paths (lambda from 0 to 2*eig_max/sqrt(n)) against 12 separate runs, seconds:';
md{end + 1} = '';
md{end + 1} = '| data | r | path | separate, default options | separate, one start |';
md{end + 1} = '|---|---|---|---|---|';
md = [md, timing];

results = struct('rows', {rows}, 'curves', curves, 'wins', wins, 'compared', compared, ...
    'pc_error', pc_error);
write_outputs(out_dir, md, rows, curves);
end

% -------------------------------------------------------------------------

function share = adjusted_share(C_or_D, divisor, X)
% Adjusted variance over total variance for loadings X (columns scaled to
% unit norm), columns in the greedy order of what each adds.
X = X ./ repmat(sqrt(sum(X .^ 2, 1)), size(X, 1), 1);
if isempty(divisor)
    G = X' * C_or_D * X;
    total = trace(C_or_D);
else
    Z = C_or_D * X;
    G = (Z' * Z) / divisor;
    total = sum(C_or_D(:) .^ 2) / divisor;
end
G = 0.5 * (G + G');
r = size(X, 2);
chosen = [];
left = 1:r;
value = 0;
for k = 1:r
    best = -Inf;
    for j = left
        idx = [chosen j];
        H = G(idx, idx);
        if isempty(chosen)
            gain = H(end, end);
        else
            gain = H(end, end) - H(end, 1:end - 1) * (pinv(H(1:end - 1, 1:end - 1)) * H(1:end - 1, end));
        end
        if gain > best
            best = gain;
            bj = j;
        end
    end
    chosen(end + 1) = bj; %#ok<AGROW>
    left(left == bj) = [];
    value = value + max(best, 0);
end
share = value / total;
end

function [t_default, t_single] = separate_runs(C, r, lambdas, opts)
clock = tic;
for k = 1:numel(lambdas)
    sparse_pca(C, r, lambdas(k), opts);
end
t_default = toc(clock);
opts.starts = 1;
clock = tic;
for k = 1:numel(lambdas)
    sparse_pca(C, r, lambdas(k), opts);
end
t_single = toc(clock);
end

function D = read_set(data_dir, name)
switch name
    case 'wine'
        D = csvread(fullfile(data_dir, 'wine_data.csv'), 1, 0);
        D = D(:, 1:end - 1);
    case 'breast_cancer'
        D = csvread(fullfile(data_dir, 'breast_cancer.csv'), 1, 0);
        D = D(:, 1:end - 1);
    case 'diabetes'
        D = dlmread(unzipped(data_dir, 'diabetes_data_raw.csv.gz'), ' ');
    case 'digits'
        D = csvread(unzipped(data_dir, 'digits.csv.gz'));
        D = D(:, 1:end - 1);
end
m = size(D, 1);
D = D - repmat(mean(D, 1), m, 1);
sd = sqrt(sum(D .^ 2, 1) / (m - 1));
sd(sd == 0) = 1;
D = D ./ repmat(sd, m, 1);
end

function file = unzipped(data_dir, name)
folder = fullfile(tempdir, 'orthopair-real-data');
if ~exist(folder, 'dir')
    mkdir(folder);
end
files = gunzip(fullfile(data_dir, name), folder);
file = files{1};
end

function sk = read_sklearn_csv(file)
sk = struct('name', {}, 'r', {}, 'alpha', {}, 'loadings', {});
if isempty(file) || ~exist(file, 'file')
    return;
end
fid = fopen(file, 'r');
line = fgetl(fid);
while ischar(line)
    parts = strsplit(line, ',');
    values = str2double(parts(2:end));
    sk(end + 1) = struct('name', parts{1}, 'r', values(1), 'alpha', values(2), ...
        'loadings', values(4:end)); %#ok<AGROW>
    line = fgetl(fid);
end
fclose(fid);
% Rows of the file are components: loadings component by component, which
% is the column-major order of the n-by-r matrix of loadings.
end

function write_outputs(out_dir, md, rows, curves)
fid = fopen(fullfile(out_dir, 'real-data.md'), 'w');
fprintf(fid, '%s\n', md{:});
fclose(fid);
fprintf('%s\n', md{:});
fid = fopen(fullfile(out_dir, 'real-data.csv'), 'w');
fprintf(fid, 'dataset,r,method,nonzeros,adjusted_percent_of_total,percent_of_pca\n');
for k = 1:size(rows, 1)
    fprintf(fid, '%s,%d,%s,%d,%.4f,%.4f\n', rows{k, :});
end
fclose(fid);
old_warnings = warning('off', 'Octave:gnuplot-graphics');
try
    fig = figure('visible', 'off');
    set(fig, 'PaperUnits', 'inches', 'PaperPosition', [0 0 14 9]);
    cols = ceil(numel(curves) / 3);
    for k = 1:numel(curves)
        c = curves(k);
        subplot(3, cols, k);
        hold on;
        plot(c.ours(:, 1), c.ours(:, 2), 'b.-');
        if ~isempty(c.sk)
            plot(c.sk(:, 1), c.sk(:, 2), 'rs');
        end
        if ~isempty(c.pub)
            plot(c.pub(:, 1), c.pub(:, 2), 'k^');
        end
        xl = [min(c.ours(:, 1)), max(c.ours(:, 1))];
        plot(xl, c.pca * [1 1], 'k--');
        hold off;
        grid on;
        title(sprintf('%s, r = %d', strrep(c.name, '_', ' '), c.r));
        xlabel('nonzeros');
        ylabel('adjusted variance, %');
    end
    print(fig, fullfile(out_dir, 'real-data.png'), '-dpng');
    close(fig);
catch err
    fprintf('no picture: %s\n', err.message);
end
warning(old_warnings);
end

function s = yesno(b)
if b
    s = 'yes';
else
    s = 'no';
end
end

function v = get_opt(opts, name, default)
if isfield(opts, name) && ~isempty(opts.(name))
    v = opts.(name);
else
    v = default;
end
end
