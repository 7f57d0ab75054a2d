function results = peer_check(folder, opts)
% PEER_CHECK  Runs orthopair_run on the sparse-PCA instances with peer results.
%
%   RESULTS = PEER_CHECK(FOLDER, OPTS) loads every spca_*.mat in FOLDER
%   (fields B, X0, lambda, manpg_ada_F, manpg_ada_time_s), runs
%   orthopair_run(-2*B'*B, [], lambda, X0, OPTS) and prints F against
%   ManPG-Ada's, the stop reason, both certificate measures and the time
%   ratio. OPTS defaults to struct(). Needs orthopair_run and
%   orthopair_seed on the path; the C generator is seeded with 1 per run.
if nargin < 2
    opts = struct();
end
files = dir(fullfile(folder, 'spca_*.mat'));
results = struct('name', {}, 'f', {}, 'ada_f', {}, 'stop', {}, 'time', {}, 'ada_time', {});
fprintf('%-24s %16s %16s %10s %10s %9s %9s %7s %9s\n', 'instance', 'F', 'ManPG-Ada F', ...
    'rel diff', 'stop', 'gap', 'stat', 'time', 'x Ada');
for k = 1:numel(files)
    S = load(fullfile(folder, files(k).name));
    A = -2 * (S.B' * S.B);
    A = 0.5 * (A + A');
    orthopair_seed(1);
    t0 = tic;
    [X, info] = orthopair_run(A, [], S.lambda, S.X0, opts);
    elapsed = toc(t0);
    F = -trace(X' * (S.B' * (S.B * X))) + S.lambda * sum(abs(X(:)));
    rel = (F - S.manpg_ada_F) / abs(S.manpg_ada_F);
    fprintf('%-24s %16.10f %16.10f %10.2e %10s %9.1e %9.1e %7.3f %9.2f\n', files(k).name, F, ...
        S.manpg_ada_F, rel, info.stop, info.pair_gap, info.stationarity / info.stationarity_scale, ...
        elapsed, elapsed / S.manpg_ada_time_s);
    results(end + 1) = struct('name', files(k).name, 'f', F, 'ada_f', S.manpg_ada_F, ...
        'stop', info.stop, 'time', elapsed, 'ada_time', S.manpg_ada_time_s); %#ok<AGROW>
end
end
