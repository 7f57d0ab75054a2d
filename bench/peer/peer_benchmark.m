function rows = peer_benchmark(folder, out_file, opts)
% PEER_BENCHMARK  Run the solver on every sparse-PCA instance in FOLDER, side by side with peers.
%
%   ROWS = PEER_BENCHMARK(FOLDER, OUT_FILE) loads every spca_*.mat in FOLDER
%   (fields B, X0, lambda, n, r and the peers' results manpg_F,
%   manpg_time_s, manpg_ada_F, manpg_ada_time_s, best_peer_F), solves
%
%       minimise -trace(X'*B'*B*X) + lambda*sum(abs(X(:)))  s.t. X'*X = I
%
%   from the instance's X0 with SPARSE_PCA (default options, seed 1), and
%   prints one table row per instance: our F, time, iterations, stop and the
%   two certificate values, the relative gap to ManPG-Ada's F and to the best
%   peer F (negative: ours is lower), and our time over ManPG-Ada's. Peers'
%   times were measured on a machine of the same kind; they are read from
%   the files, not rerun.
%
%   Instances of our own making (same recipe, other sizes and seeds; no peer
%   results exist for them) are added with OPTS.own = true: for those the
%   reference is our own proximal-gradient-only run (rule 'prox').
%
%   OPTS.time_limit (seconds, default none) bounds each solve.
%
%   The table goes to the screen and, as Markdown, to OUT_FILE when given;
%   then two lines say PASS or FAIL: every instance certified, and F at most
%   the reference F + 1e-6*|F| on every one.

if nargin < 2
    out_file = '';
end
if nargin < 3
    opts = struct();
end
files = dir(fullfile(folder, 'spca_*.mat'));
names = sort({files.name});
instances = {};
for k = 1:numel(names)
    S = load(fullfile(folder, names{k}));
    S.name = strrep(names{k}, '.mat', '');
    instances{end + 1} = S; %#ok<AGROW>
end
if isfield(opts, 'own') && opts.own
    sizes = [100 3 11; 200 5 12; 300 8 13; 400 2 14; 250 10 15; 150 1 16];
    for k = 1:size(sizes, 1)
        instances{end + 1} = own_instance(sizes(k, 1), sizes(k, 2), sizes(k, 3)); %#ok<AGROW>
    end
end

header = sprintf('| %-24s | %3s | %2s | %14s | %8s | %9s | %-9s | %8s | %8s | %10s | %10s | %7s |', ...
    'instance', 'n', 'r', 'F (ours)', 'time [s]', 'iters', 'stop', 'pair gap', 'station.', ...
    'vs Ada', 'vs best', 'time/Ada');
rule = sprintf('|%s|', repmat('-', 1, numel(header) - 2));
lines = {header, rule};
fprintf('%s\n%s\n', header, rule);
rows = struct('name', {}, 'f', {}, 'time', {}, 'gap_ada', {}, 'gap_best', {}, 'ratio', {}, 'stop', {});
solve_opts = struct('data', true, 'center', false, 'divisor', 1, 'refit', false, 'seed', 1);
if isfield(opts, 'time_limit') && ~isempty(opts.time_limit)
    solve_opts.time_limit = opts.time_limit;
end
for k = 1:numel(instances)
    S = instances{k};
    B = S.B;
    solve_opts.X0 = S.X0;
    clock = tic;
    [X, info] = sparse_pca(sqrt(2) * B, S.r, S.lambda, solve_opts);
    elapsed = toc(clock);
    BX = B * X;
    f = -sum(BX(:) .^ 2) + S.lambda * sum(abs(X(:)));
    if isfield(S, 'manpg_ada_F')
        ref = S.manpg_ada_F;
        best = S.best_peer_F;
        ratio = elapsed / S.manpg_ada_time_s;
    else
        prox_opts = solve_opts;
        prox_opts.rule = 'prox';
        [Xp, ip] = sparse_pca(sqrt(2) * B, S.r, S.lambda, prox_opts);
        BXp = B * Xp;
        ref = -sum(BXp(:) .^ 2) + S.lambda * sum(abs(Xp(:)));
        best = min(ref, f);
        ratio = elapsed / ip.time;
    end
    gap_ada = (f - ref) / abs(ref);
    gap_best = (f - best) / abs(best);
    line = sprintf('| %-24s | %3d | %2d | %14.8f | %8.3f | %9d | %-9s | %8.1e | %8.1e | %10.2e | %10.2e | %7.2f |', ...
        S.name, S.n, S.r, f, elapsed, info.iterations, info.stop, info.pair_gap, ...
        info.stationarity / max(1, norm(2 * (B' * BX), 'fro')), gap_ada, gap_best, ratio);
    fprintf('%s\n', line);
    lines{end + 1} = line; %#ok<AGROW>
    rows(end + 1) = struct('name', S.name, 'f', f, 'time', elapsed, 'gap_ada', gap_ada, ...
        'gap_best', gap_best, 'ratio', ratio, 'stop', info.stop); %#ok<AGROW>
end
certified = strcmp({rows.stop}, 'certified');
at_or_below = [rows.gap_ada] <= 1e-6;
fprintf('%s  every instance certified (%d of %d)\n', pass_fail(all(certified)), ...
    sum(certified), numel(rows));
fprintf('%s  F at most the reference F + 1e-6*|F| on every instance (%d of %d)\n', ...
    pass_fail(all(at_or_below)), sum(at_or_below), numel(rows));
if ~isempty(out_file)
    fid = fopen(out_file, 'w');
    fprintf(fid, '%s\n', lines{:});
    fclose(fid);
end
end

function s = pass_fail(ok)
if ok
    s = 'PASS';
else
    s = 'FAIL';
end
end

function S = own_instance(n, r, seed)
% The recipe of the peer instances (B = randn(50, n), columns centred and
% scaled to unit norm; X0 orthonormal; lambda = 0.8), from seeded uniforms
% so that it is the same in every host.
m = 50;
u1 = seeded_uniform(m, n, 1000 + seed);
u2 = seeded_uniform(m, n, 2000 + seed);
B = sqrt(-2 * log(u1)) .* cos(2 * pi * u2);
B = B - repmat(mean(B, 1), m, 1);
B = B ./ repmat(sqrt(sum(B .^ 2, 1)), m, 1);
[X0, R] = qr(seeded_uniform(n, r, 3000 + seed) - 0.5, 0);
X0 = X0 .* repmat(sign(diag(R))', n, 1);
S = struct('B', B, 'X0', X0, 'lambda', 0.8, 'n', n, 'r', r, ...
    'name', sprintf('own_n%d_r%d_s%d', n, r, seed));
end
