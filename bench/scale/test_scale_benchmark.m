function test_scale_benchmark()
% TEST_SCALE_BENCHMARK  The scale benchmark's generator, recipe and driver, end to end.
%
%   The block generator gives SEEDED_UNIFORM's numbers bit for bit; an
%   instance follows the recipe (centred unit columns, orthonormal start,
%   the same every call); and SCALE_BENCHMARK runs one tiny instance of our
%   own and the same data posing as an instance with peer results, each in
%   its own octave-cli, and writes a well-formed table and a PNG picture; a
%   process killed at its deadline still gives a row.

generator_matches_the_portable_one();
instance_follows_the_recipe();
driver_runs_end_to_end();
end

function generator_matches_the_portable_one()
% Lengths around the doubling steps, and seeds that reduce to 0, to 1 and
% past the modulus.
for count = [0 1 2 3 4 5 7 8 9 1000 1023 1024 1025 4099]
    for seed = [0 1 7 3001 2147483646 2147483647 2147483648 -5 123456789012]
        fast = seeded_uniform_fast(1, count, seed);
        slow = seeded_uniform(1, count, seed);
        assert(isequal(fast, slow), 'count %d, seed %d: the block generator differs', count, seed);
    end
end
assert(isequal(seeded_uniform_fast(7, 13, 42), seeded_uniform(7, 13, 42)), 'shape 7-by-13 differs');
assert(isequal(size(seeded_uniform_fast(0, 5, 1)), [0 5]), 'empty shape lost');
end

function instance_follows_the_recipe()
S = scale_instance(60, 10, 2, 0.8);
assert(isequal(size(S.B), [10 60]) && isequal(size(S.X0), [60 2]), 'sizes');
assert(max(abs(mean(S.B, 1))) < 1e-15, 'columns of B not centred');
assert(max(abs(sqrt(sum(S.B .^ 2, 1)) - 1)) < 1e-14, 'columns of B not of unit norm');
assert(norm(S.X0' * S.X0 - eye(2), 'fro') < 1e-14, 'X0 not orthonormal');
assert(all(diag(qr(S.X0' * S.X0)) ~= 0), 'X0 rank deficient');
assert(strcmp(S.name, 'own_n60_m10_r2_mu0.8_s1'), 'name %s', S.name);
assert(isequal(scale_instance(60, 10, 2, 0.8), S), 'an instance differs from one call to the next');
% B is a Box-Muller normal of the two streams, before centring and scaling.
u1 = seeded_uniform(10, 60, 1001);
u2 = seeded_uniform(10, 60, 2001);
G = sqrt(-2 * log(u1)) .* cos(2 * pi * u2);
G = G - mean(G, 1);
G = G ./ sqrt(sum(G .^ 2, 1));
assert(max(abs(G(:) - S.B(:))) < 1e-14, 'B is not the recipe''s');
% The instances of one m share the leading columns of B; another seed differs.
assert(isequal(scale_instance(30, 10, 2, 0.8).B, S.B(:, 1:30)), 'smaller n: other columns');
assert(~isequal(scale_instance(60, 10, 2, 0.8, 2).B, S.B), 'seed 2 gives the data of seed 1');
end

function driver_runs_end_to_end()
work = tempname();
peers = fullfile(work, 'peers');
mkdir(peers);
cleanup = onCleanup(@() remove_folder(work));
% The tiny instance again, posing as one with peer results.
S = scale_instance(60, 10, 2, 0.8);
X0 = S.X0;
f0 = -sum(sum((S.B * X0) .^ 2)) + 0.8 * sum(abs(X0(:)));
P = struct('B', S.B, 'X0', X0, 'lambda', 0.8, 'n', 60, 'r', 2, 'manpg_F', f0, 'manpg_time_s', 2, ...
    'manpg_ada_F', f0, 'manpg_ada_time_s', 1.5, 'calib_s', 1e-3, 'best_peer_F', f0);
save('-v6', fullfile(peers, 'spca_n60_r2_mu0.8_seed1.mat'), '-struct', 'P');
md = fullfile(work, 'table.md');
png = fullfile(work, 'picture.png');
% A third instance above dense_max_n: run with the data form where the
% build takes it, else skipped (never a dense A).
rows = scale_benchmark(struct('folder', peers, 'own', [60 10 2 0.8; 80 10 2 0.8], 'time_limit', 20, ...
    'dense_max_n', 70, 'work_dir', fullfile(work, 'scratch'), 'out_md', md, 'out_png', png, ...
    'quiet', true));

assert(numel(rows) == 3, '%d rows for three instances', numel(rows));
big = rows(3);
if strcmp(big.stop, 'skipped')
    assert(strcmp(big.form, 'none') && isnan(big.f), 'skipped row: form %s, F %g', big.form, big.f);
else
    assert(any(strcmp(big.form, {'data', 'data-run'})), 'n = 80 above dense_max_n ran with form ''%s''', ...
        big.form);
end
rows = rows(1:2);
assert(strcmp(rows(1).name, 'spca_n60_r2_mu0.8_seed1') && strcmp(rows(2).name, 'own_n60_m10_r2_mu0.8_s1'), ...
    'rows out of order: %s, %s', rows(1).name, rows(2).name);
known = {'certified', 'not_certified', 'stalled', 'max_iter', 'time_limit', 'target'};
for w = rows
    assert(any(strcmp(w.stop, known)), '%s: stop ''%s'' (%s)', w.name, w.stop, w.message);
    assert(any(strcmp(w.form, {'data', 'data-run', 'dense'})), '%s: form ''%s''', w.name, w.form);
    assert([w.n w.m w.r w.lambda] == [60 10 2 0.8], '%s: sizes', w.name);
    assert(isfinite(w.f) && w.f <= f0 + 1e-12 * abs(f0), '%s: F %g above the start''s %g', w.name, w.f, f0);
    assert(w.feasibility < 1e-10, '%s: X not orthonormal', w.name);
    assert(w.time > 0 && w.workload_s > 0 && w.products_s > 0, '%s: times', w.name);
    % Octave alone takes tens of MB; the net figure is the difference.
    assert(w.idle_mb > 10 && w.peak_mb > 10, '%s: memory not measured (%g, %g MB)', w.name, ...
        w.peak_mb, w.idle_mb);
    assert(abs(w.net_mb - (w.peak_mb - w.idle_mb)) < 1e-9, '%s: net memory', w.name);
end
% The same data and start through both routes: the same computation.
assert(rows(1).f == rows(2).f, 'one instance, two routes, two F: %.17g, %.17g', rows(1).f, rows(2).f);
% Peer comparison: ManPG-Ada's time scaled by (workload here / calib_s).
peer = rows(1);
assert(abs(peer.factor - peer.workload_s / 1e-3) <= 1e-12 * peer.factor, 'factor');
assert(abs(peer.ada_scaled - 1.5 * peer.factor) <= 1e-12 * peer.ada_scaled, 'scaled peer time');
assert(abs(peer.ratio - peer.time / peer.ada_scaled) <= 1e-12 * peer.ratio, 'time ratio');
assert(abs(peer.gap_ada - (peer.f - f0) / abs(f0)) <= 1e-12, 'gap to the peer F');
assert(isnan(rows(2).ada_scaled) && isnan(rows(2).ratio), 'own instance compared with a peer');

% The Markdown: a header, a rule and one row per instance with as many
% cells, the growth note and the goal lines.
text = fileread(md);
lines = regexp(text, '\n', 'split');
table = lines(strncmp(lines, '|', 1));
assert(numel(table) == 5, '%d table lines, expected header, rule and 3 rows', numel(table));
cells = cellfun(@(s) numel(strfind(s, '|')), table);
assert(all(cells == cells(1)) && cells(1) >= 10, 'ragged table: %s', mat2str(cells));
assert(all(table{2} == '|' | table{2} == '-'), 'second line is not a rule');
row = regexp(table{4}, '\s*\|\s*', 'split');
assert(strcmp(row{2}, 'own_n60_m10_r2_mu0.8_s1') && strcmp(row{3}, '60') && strcmp(row{4}, '10') ...
    && strcmp(row{5}, '2'), 'own row: %s', table{4});
assert(abs(str2double(row{9}) - rows(2).f) <= 1e-7 * abs(rows(2).f), 'F cell %s', row{9});
for goal = {'every instance with peer results certified', 'F <= ManPG-Ada''s F', ...
        'time <= ManPG-Ada''s, scaled', 'factors used', ...
        'SKIP  n = 20000, m = 50, r = 10, lambda = 0.8: not run', 'prox step'}
    assert(~isempty(strfind(text, goal{1})), 'no goal line ''%s''', goal{1});
end
assert(~isempty(regexp(text, '(PASS|FAIL)  every instance with peer results certified \(\d of 1\)', 'once')), ...
    'certified goal line malformed');

% The picture: a PNG file of some size.
fid = fopen(png, 'r');
assert(fid >= 0, 'no picture written');
magic = fread(fid, 8, 'uint8')';
fseek(fid, 0, 'eof');
bytes = ftell(fid);
fclose(fid);
assert(isequal(magic, [137 80 78 71 13 10 26 10]), 'the picture is not a PNG file');
assert(bytes > 2000, 'the picture has only %d bytes', bytes);
assert(~exist(fullfile(work, 'scratch'), 'dir'), 'scratch folder left behind');

% A process killed before it could write its result still gives a row.
rows = scale_benchmark(struct('own', [60 10 2 0.8], 'kill_after', 0.05, 'quiet', true, ...
    'work_dir', fullfile(work, 'killed')));
assert(numel(rows) == 1 && strcmp(rows.stop, 'killed') && isnan(rows.f) && rows.time >= 0.05, ...
    'killed run: stop %s, F %g, time %g', rows.stop, rows.f, rows.time);
end

function remove_folder(folder)
if exist(folder, 'dir')
    confirm_recursive_rmdir(false, 'local');
    rmdir(folder, 's');
end
end
