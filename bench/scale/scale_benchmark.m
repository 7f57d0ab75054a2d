function rows = scale_benchmark(opts)
% SCALE_BENCHMARK  Sparse PCA at thousands to tens of thousands of variables: time, memory, growth.
%
%   ROWS = SCALE_BENCHMARK(OPTS) solves
%
%       minimise  F(X) = -trace(X'*B'*B*X) + lambda*sum(abs(X(:)))  s.t. X'*X = I
%
%   from each instance's X0, with A given as data,
%   ORTHOPAIR_SOLVE(struct('D', B, 'scale', -2), [], lambda, X0), each
%   instance in an octave-cli process of its own under /usr/bin/time -v, so
%   that the peak resident memory is the instance's. A second process per
%   instance loads the same data and does everything but the solve; its
%   peak is the host's own ('idle'), and the difference ('net') is what the
%   solve adds. Where ORTHOPAIR_SOLVE does not take the data form but the
%   MEX-file ORTHOPAIR_RUN does, the run goes through ORTHOPAIR_RUN with
%   the same seed and options (form 'data-run'); where neither does,
%   instances with n <= OPTS.dense_max_n run with the dense A = -2*B'*B
%   (form 'dense'; the time then includes forming A) and larger ones are
%   skipped.
%
%   It prints a table, writes it as Markdown, draws time and net memory
%   against n on log-log axes (one line per m and r), prints the slopes of
%   straight-line fits in log-log (over the runs that ended by their own
%   test, not by the time limit) and checks the goals, one PASS, FAIL or
%   SKIP line each:
%     - every instance with peer results certified, with F at most
%       ManPG-Ada's F + 1e-6*|F|, in at most ManPG-Ada's time (scaled to
%       this machine, see below); stretch: at most half of it;
%     - n = 20000, m = 50, r = 10, lambda = 0.8 certified in at most 60 s
%       with at most 200 MB net peak memory;
%     - a proximal step at most 3 times the two products B*X and B'*Y,
%       where the time spent in proximal steps is known (reported by the
%       info, or the intervals of its history in which only proximal
%       steps were taken).
%
%   Peers' times were taken on another machine under another load. With
%   each instance comes calib_s, the seconds per repetition of the
%   workload Y = B'*(B*X0); [Q, R] = qr(Y, 0) there; the child process
%   times the same workload here (the fastest of 7 batches), and
%   ManPG-Ada's time is scaled by (time here / calib_s). The factor is
%   printed in the table.
%
%   OPTS fields (all optional):
%     folder       folder of spca_*.mat instances with peer results ('' for
%                  none; default '')
%     own          instances of our own, one row [n m r lambda] each, built
%                  by SCALE_INSTANCE with seed 1 (default none)
%     time_limit   seconds per solve (300)
%     kill_after   seconds after which a process still running is killed
%                  (stop 'killed'; default 2*time_limit + 120). A process
%                  that ends without a result shows as 'crashed'.
%     dense_max_n  largest n run with a dense A when the data form is
%                  refused (5000)
%     work_dir     scratch folder for data, jobs and logs
%                  (tempname(); removed at the end unless keep_work)
%     keep_work    keep work_dir (false)
%     out_md       Markdown table file ('' for none)
%     out_png      picture file ('' for none; needs gnuplot)
%     octave       the octave-cli to run (the one of this host)
%     quiet        no output but the files (false)
%
%   ROWS is a struct array with one element per instance (name, n, m, r,
%   lambda, form, stop, f, time, peak_mb, idle_mb, net_mb, touched, ratio,
%   ... ).
%
%   Example (a few seconds):
%       addpath('build/mex'); addpath('bench/scale');
%       rows = scale_benchmark(struct('own', [300 20 3 0.8], 'time_limit', 20));
%
%   See also SCALE_INSTANCE, SCALE_CHILD, PEER_BENCHMARK.

if nargin < 1
    opts = struct();
end
defaults = struct('folder', '', 'own', zeros(0, 4), 'time_limit', 300, 'dense_max_n', 5000, ...
    'kill_after', [], 'work_dir', '', 'keep_work', false, 'out_md', '', 'out_png', '', ...
    'octave', default_octave(), 'quiet', false);
names = fieldnames(opts);
for k = 1:numel(names)
    if ~isfield(defaults, names{k})
        error('scale_benchmark:badOption', 'Unknown option ''%s''.', names{k});
    end
    defaults.(names{k}) = opts.(names{k});
end
opts = defaults;
if isempty(opts.work_dir)
    opts.work_dir = tempname();
end
if ~exist(opts.work_dir, 'dir')
    mkdir(opts.work_dir);
end
solver = which('orthopair_solve');
if isempty(solver)
    error('scale_benchmark:noSolver', ['orthopair_solve is not on the path: add the folder of ' ...
        'the built MEX-files (e.g. build/mex) first.']);
end
% The child processes get the solver's folder and this one.
paths = {fileparts(solver), fileparts(mfilename('fullpath'))};
say = @(varargin) fprintf(varargin{:});
if opts.quiet
    say = @(varargin) [];
end

instances = list_instances(opts);
rows = [];
for k = 1:numel(instances)
    inst = instances{k};
    say('[%d/%d] %s ...', k, numel(instances), inst.name);
    data_file = inst.data_file;
    if isempty(data_file)
        S = scale_instance(inst.n, inst.m, inst.r, inst.lambda, 1);
        data_file = fullfile(opts.work_dir, [inst.name '.mat']);
        save('-v6', data_file, '-struct', 'S');
        clear S
    end
    solved = run_child(opts, paths, data_file, 'solve', inst.name);
    idle = run_child(opts, paths, data_file, 'idle', inst.name);
    if isempty(inst.data_file)
        delete(data_file);
    end
    row = make_row(inst, solved, idle);
    say(' %s, %s, %.3g s, F = %.10g, peak %.0f MB (idle %.0f MB)\n', row.form, row.stop, ...
        row.time, row.f, row.peak_mb, row.idle_mb);
    if isempty(rows)
        rows = row;
    else
        rows(end + 1) = row; %#ok<AGROW>
    end
end
if isempty(rows)
    say('No instances to run.\n');
    return;
end

lines = table_lines(rows);
say('\n');
say('%s\n', lines{:});
fits = fit_slopes(rows);
say('\n');
say('%s\n', fits{:});
goals = goal_lines(rows);
say('\n');
say('%s\n', goals{:});
if ~isempty(opts.out_md)
    write_markdown(opts.out_md, rows, lines, fits, goals, opts);
    say('\nTable: %s\n', opts.out_md);
end
if ~isempty(opts.out_png)
    draw(rows, opts.out_png, opts.work_dir);
    say('Picture: %s\n', opts.out_png);
end
if ~opts.keep_work
    confirm_recursive_rmdir(false, 'local');
    rmdir(opts.work_dir, 's');
end
end

function exe = default_octave()
exe = fullfile(OCTAVE_HOME(), 'bin', 'octave-cli');
if ~exist(exe, 'file')
    exe = 'octave-cli';
end
end

function instances = list_instances(opts)
instances = {};
if ~isempty(opts.folder)
    files = dir(fullfile(opts.folder, 'spca_*.mat'));
    keys = zeros(numel(files), 3);
    for k = 1:numel(files)
        file = fullfile(opts.folder, files(k).name);
        S = load(file, 'n', 'r', 'lambda', 'B', 'manpg_ada_F', 'manpg_ada_time_s', 'calib_s');
        inst = struct('name', strrep(files(k).name, '.mat', ''), 'data_file', file, ...
            'n', S.n, 'm', size(S.B, 1), 'r', S.r, 'lambda', S.lambda, ...
            'ada_f', field_or_nan(S, 'manpg_ada_F'), 'ada_time', field_or_nan(S, 'manpg_ada_time_s'), ...
            'calib_s', field_or_nan(S, 'calib_s'));
        instances{end + 1} = inst; %#ok<AGROW>
        keys(k, :) = [S.n, S.r, S.lambda];
    end
    [~, order] = sortrows(keys);
    instances = instances(order);
end
for k = 1:size(opts.own, 1)
    n = opts.own(k, 1);
    m = opts.own(k, 2);
    r = opts.own(k, 3);
    lambda = opts.own(k, 4);
    instances{end + 1} = struct('name', sprintf('own_n%d_m%d_r%d_mu%g_s1', n, m, r, lambda), ...
        'data_file', '', 'n', n, 'm', m, 'r', r, 'lambda', lambda, ...
        'ada_f', NaN, 'ada_time', NaN, 'calib_s', NaN); %#ok<AGROW>
end
end

function v = field_or_nan(S, name)
v = NaN;
if isfield(S, name)
    v = double(S.(name));
end
end

function res = run_child(opts, paths, data_file, mode, name)
% One octave-cli under /usr/bin/time -v (and a hard time limit): returns
% the child's result with peak_kb, its peak resident set size.
stem = fullfile(opts.work_dir, [name '.' mode]);
job = struct('data_file', data_file, 'result_file', [stem '.result.mat'], 'mode', mode, ...
    'time_limit', opts.time_limit, 'dense_max_n', opts.dense_max_n);
job_file = [stem '.job.mat'];
save('-v6', job_file, '-struct', 'job');
code = '';
for k = 1:numel(paths)
    code = [code sprintf('addpath(''%s''); ', strrep(paths{k}, '''', ''''''))]; %#ok<AGROW>
end
code = [code sprintf('scale_child(''%s'')', strrep(job_file, '''', ''''''))];
kill_after = opts.kill_after;
if isempty(kill_after)
    kill_after = 2 * opts.time_limit + 120;
end
memory_file = [stem '.time.txt'];
prefix = '';
if exist('/usr/bin/time', 'file')
    prefix = sprintf('/usr/bin/time -v -o %s ', shell_quote(memory_file));
end
command = sprintf('%stimeout -s KILL %g %s --no-gui --norc --quiet --no-history --no-window-system --eval %s > %s 2>&1', ...
    prefix, kill_after, shell_quote(opts.octave), shell_quote(code), shell_quote([stem '.log']));
clock = tic;
status = system(command);
wall = toc(clock);
if exist(job.result_file, 'file')
    res = load(job.result_file);
else
    % No result: the process was killed at kill_after, or ended abnormally
    % (the end of its log says how). Its time is the process's wall time.
    stop = 'crashed';
    if wall >= kill_after
        stop = 'killed';
    end
    res = struct('form', '', 'stop', stop, 'message', sprintf('exit status %d; %s', status, ...
        log_tail([stem '.log'])), 'f', NaN, 'time', wall, 'solver_time', NaN, 'iterations', NaN, 'prox_steps', NaN, ...
        'pair_gap', NaN, 'stationarity', NaN, 'stationarity_rel', NaN, 'feasibility', NaN, ...
        'touched', [], 'prox_time', NaN, 'prox_timed_steps', NaN, 'workload_s', NaN, 'products_s', NaN, 'info_fields', '');
end
res.peak_kb = NaN;
if exist(memory_file, 'file')
    text = fileread(memory_file);
    tok = regexp(text, 'Maximum resident set size \(kbytes\):\s*(\d+)', 'tokens', 'once');
    if ~isempty(tok)
        res.peak_kb = str2double(tok{1});
    end
end
end

function text = log_tail(file)
% The last few hundred characters of a child's log, on one line.
text = '';
if exist(file, 'file')
    text = strtrim(fileread(file));
    text = regexprep(text(max(1, end - 300):end), '\s+', ' ');
end
end

function q = shell_quote(s)
q = ['''' strrep(s, '''', '''\''''') ''''];
end

function row = make_row(inst, solved, idle)
row = struct('name', inst.name, 'n', inst.n, 'm', inst.m, 'r', inst.r, 'lambda', inst.lambda, ...
    'form', solved.form, 'stop', solved.stop, 'message', solved.message, 'f', solved.f, ...
    'time', solved.time, 'solver_time', solved.solver_time, 'iterations', solved.iterations, ...
    'prox_steps', solved.prox_steps, 'pair_gap', solved.pair_gap, ...
    'stationarity_rel', solved.stationarity_rel, 'feasibility', solved.feasibility, ...
    'touched', solved.touched, 'prox_time', solved.prox_time, ...
    'prox_timed_steps', solved.prox_timed_steps, ...
    'peak_mb', solved.peak_kb / 1024, 'idle_mb', idle.peak_kb / 1024, ...
    'net_mb', (solved.peak_kb - idle.peak_kb) / 1024, ...
    'workload_s', solved.workload_s, 'products_s', solved.products_s, ...
    'ada_f', inst.ada_f, 'ada_time', inst.ada_time, 'calib_s', inst.calib_s, ...
    'factor', solved.workload_s / inst.calib_s, 'ada_scaled', NaN, 'ratio', NaN, ...
    'gap_ada', (solved.f - inst.ada_f) / abs(inst.ada_f), 'info_fields', solved.info_fields);
row.ada_scaled = inst.ada_time * row.factor;
row.ratio = row.time / row.ada_scaled;
end

function lines = table_lines(rows)
header = sprintf(['| %-30s | %5s | %3s | %3s | %6s | %-8s | %-13s | %15s | %9s | %8s | ' ...
    '%8s | %7s | %6s | %7s | %7s | %7s | %-26s |'], ...
    'instance', 'n', 'm', 'r', 'lambda', 'form', 'stop', 'F', 'vs Ada', 'time [s]', ...
    'Ada [s]', 'time/Ada', 'factor', 'peak MB', 'idle MB', 'net MB', 'touched, last pass');
cells = regexp(header, '\|', 'split');
rule = '|';
for k = 2:numel(cells) - 1
    rule = [rule repmat('-', 1, numel(cells{k})) '|']; %#ok<AGROW>
end
lines = {header, rule};
for k = 1:numel(rows)
    w = rows(k);
    lines{end + 1} = sprintf(['| %-30s | %5d | %3d | %3d | %6.2g | %-8s | %-13s | %15.8f | %9s | %8.3f | ' ...
        '%8s | %8s | %6s | %7.0f | %7.0f | %7.0f | %-26s |'], ...
        w.name, w.n, w.m, w.r, w.lambda, dash(w.form), w.stop, w.f, num_or_dash('%9.2e', w.gap_ada), ...
        w.time, num_or_dash('%8.3f', w.ada_scaled), num_or_dash('%8.2f', w.ratio), ...
        num_or_dash('%6.2f', w.factor), w.peak_mb, w.idle_mb, w.net_mb, touched_text(w)); %#ok<AGROW>
end
end

function s = dash(s)
if isempty(s)
    s = '-';
end
end

function s = num_or_dash(fmt, v)
if isfinite(v)
    s = sprintf(fmt, v);
else
    s = '-';
end
end

function s = touched_text(w)
touched = w.touched(isfinite(w.touched));
if isempty(touched)
    s = '-';
    return;
end
s = sprintf('%.0f (%.3g%%)', touched(end), 100 * touched(end) / (w.n * (w.n - 1) / 2));
end

function finished = ended_by_own_test(rows)
finished = ismember({rows.stop}, {'certified', 'not_certified', 'stalled'}) & isfinite([rows.time]);
end

function lines = fit_slopes(rows)
% Straight lines through log(time) and log(net memory) against log(n) for
% each m, r and lambda, and against log(r) for each n, m and lambda.
lines = {'Growth (slopes of least-squares lines in log-log, over runs that ended by their own test):'};
finished = ended_by_own_test(rows);
keys = unique([[rows.m]' [rows.r]' [rows.lambda]'], 'rows');
for k = 1:size(keys, 1)
    pick = finished & [rows.m] == keys(k, 1) & [rows.r] == keys(k, 2) & [rows.lambda] == keys(k, 3);
    lines = add_fit(lines, rows(pick), 'n', sprintf('m = %d, r = %d, lambda = %g', keys(k, :)));
end
keys = unique([[rows.n]' [rows.m]' [rows.lambda]'], 'rows');
for k = 1:size(keys, 1)
    pick = finished & [rows.n] == keys(k, 1) & [rows.m] == keys(k, 2) & [rows.lambda] == keys(k, 3);
    lines = add_fit(lines, rows(pick), 'r', sprintf('n = %d, m = %d, lambda = %g', keys(k, :)));
end
if numel(lines) == 1
    lines{end + 1} = '  (no group with two or more sizes ended by its own test)';
end
end

function lines = add_fit(lines, group, along, label)
x = [group.(along)];
if numel(unique(x)) < 2
    return;
end
time_slope = polyfit(log(x), log([group.time]), 1);
text = sprintf('  %-34s time ~ %s^%.2f', [label ':'], along, time_slope(1));
net = [group.net_mb];
keep = net > 0 & isfinite(net);
if numel(unique(x(keep))) >= 2
    net_slope = polyfit(log(x(keep)), log(net(keep)), 1);
    text = sprintf('%s, net memory ~ %s^%.2f', text, along, net_slope(1));
end
lines{end + 1} = sprintf('%s  (%s = %s)', text, along, num2str(unique(x)));
end

function lines = goal_lines(rows)
lines = {'Goals:'};
peer = rows(isfinite([rows.ada_f]));
if isempty(peer)
    lines{end + 1} = 'SKIP  instances with peer results: none run';
else
    certified = strcmp({peer.stop}, 'certified');
    at_or_below = [peer.f] <= [peer.ada_f] + 1e-6 * abs([peer.ada_f]);
    ratio = [peer.ratio];
    lines{end + 1} = verdict(all(certified), sprintf('every instance with peer results certified (%d of %d)', ...
        sum(certified), numel(peer)));
    lines{end + 1} = verdict(all(at_or_below), sprintf( ...
        'F <= ManPG-Ada''s F + 1e-6*|F| on every one (%d of %d)', sum(at_or_below), numel(peer)));
    lines{end + 1} = verdict(all(ratio <= 1), sprintf( ...
        'time <= ManPG-Ada''s, scaled (%d of %d; ratios %s)', sum(ratio <= 1), numel(peer), ...
        sprintf('%.2g ', ratio)));
    lines{end + 1} = verdict(all(ratio <= 0.5), sprintf( ...
        'stretch: time <= 0.5 x ManPG-Ada''s, scaled (%d of %d)', sum(ratio <= 0.5), numel(peer)));
    lines{end + 1} = sprintf('      factors used (time here / calib_s): %s(median %.3g)', ...
        sprintf('%.3g ', [peer.factor]), median([peer.factor]));
end
k = find([rows.n] == 20000 & [rows.m] == 50 & [rows.r] == 10 & [rows.lambda] == 0.8, 1);
if isempty(k)
    lines{end + 1} = 'SKIP  n = 20000, m = 50, r = 10, lambda = 0.8: not run';
else
    w = rows(k);
    lines{end + 1} = verdict(strcmp(w.stop, 'certified') && w.time <= 60, sprintf( ...
        'n = 20000, m = 50, r = 10, lambda = 0.8 certified in <= 60 s (%s, %.1f s, form %s)', ...
        w.stop, w.time, dash(w.form)));
    lines{end + 1} = verdict(w.net_mb <= 200, sprintf( ...
        'n = 20000, m = 50, r = 10, lambda = 0.8 peak memory <= 200 MB (net %.0f MB; process %.0f MB, idle host %.0f MB)', ...
        w.net_mb, w.peak_mb, w.idle_mb));
end
timed = find(isfinite([rows.prox_time]) & [rows.prox_timed_steps] > 0);
if isempty(timed)
    fields = '';
    known = find(~cellfun(@isempty, {rows.info_fields}), 1);
    if ~isempty(known)
        fields = rows(known).info_fields;
    end
    lines{end + 1} = sprintf(['SKIP  prox step <= 3 x (B*X and B''*Y): the info reports no time ' ...
        'spent in prox steps (its fields: %s)'], fields);
else
    for k = timed
        w = rows(k);
        per_step = w.prox_time / w.prox_timed_steps;
        text = sprintf('%s: prox step %.3g ms = %.2f x (B*X and B''*Y, %.3g ms; %d steps timed)', ...
            w.name, 1e3 * per_step, per_step / w.products_s, 1e3 * w.products_s, w.prox_timed_steps);
        if strncmp(w.form, 'data', 4)
            lines{end + 1} = verdict(per_step <= 3 * w.products_s, text); %#ok<AGROW>
        else
            % With A dense a product with it costs n^2*r, not the data's 2*m*n*r.
            lines{end + 1} = ['INFO  ' text ', A dense: no verdict']; %#ok<AGROW>
        end
    end
end
end

function s = verdict(ok, text)
if ok
    s = ['PASS  ' text];
else
    s = ['FAIL  ' text];
end
end

function write_markdown(file, rows, lines, fits, goals, opts)
fid = fopen(file, 'w');
if fid < 0
    error('scale_benchmark:write', 'Cannot write the table to out_md ''%s''.', file);
end
fprintf(fid, ['Sparse PCA at scale: F(X) = -tr(X''B''BX) + lambda*||X||_1 from X0, ' ...
    'time limit %g s per instance, %s.\n\n'], opts.time_limit, datestr(now, 'yyyy-mm-dd HH:MM'));
fprintf(fid, '%s\n', lines{:});
fprintf(fid, '\n```text\n');
fprintf(fid, '%s\n', fits{:});
fprintf(fid, '\n');
fprintf(fid, '%s\n', goals{:});
fprintf(fid, '```\n');
odd = rows(~cellfun(@isempty, {rows.message}));
for k = 1:numel(odd)
    fprintf(fid, '\n%s: %s\n', odd(k).name, odd(k).message);
end
fclose(fid);
end

function draw(rows, png_file, work_dir)
% Time and net memory against n on log-log axes, one line per m, r and
% lambda, by gnuplot.
keys = unique([[rows.m]' [rows.r]' [rows.lambda]'], 'rows');
data_file = fullfile(work_dir, 'scale-bench.dat');
fid = fopen(data_file, 'w');
for k = 1:size(keys, 1)
    group = rows([rows.m] == keys(k, 1) & [rows.r] == keys(k, 2) & [rows.lambda] == keys(k, 3));
    [~, order] = sort([group.n]);
    for w = group(order)
        fprintf(fid, '%d %.6g %.6g\n', w.n, w.time, positive_or_nan(w.net_mb));
    end
    fprintf(fid, '\n\n');
end
% Last block: the runs that the time limit (or anything but their own
% test) ended, drawn over the lines as open circles.
cut = rows(~ended_by_own_test(rows) & isfinite([rows.time]));
fprintf(fid, '%d %.6g %.6g\n', [[cut.n]; [cut.time]; positive_or_nan([cut.net_mb])]);
fprintf(fid, 'NaN NaN NaN\n');
fclose(fid);
plots_time = {};
plots_mem = {};
finished = ended_by_own_test(rows);
for k = 1:size(keys, 1)
    title = sprintf('m=%d r=%d lambda=%g', keys(k, :));
    pick = finished & [rows.m] == keys(k, 1) & [rows.r] == keys(k, 2) & [rows.lambda] == keys(k, 3);
    if numel(unique([rows(pick).n])) >= 2
        slope = polyfit(log([rows(pick).n]), log([rows(pick).time]), 1);
        title = sprintf('%s: time ~ n^%.2f', title, slope(1));
    end
    plots_time{end + 1} = sprintf('''%s'' index %d using 1:2 with linespoints title ''%s''', ...
        data_file, k - 1, title); %#ok<AGROW>
    plots_mem{end + 1} = sprintf('''%s'' index %d using 1:3 with linespoints title ''%s''', ...
        data_file, k - 1, title); %#ok<AGROW>
end
cut_style = sprintf(['''%s'' index %d using 1:%%d with points pt 6 ps 2 lc rgb ''black'' ' ...
    'title ''ended by the time limit or killed'''], data_file, size(keys, 1));
plots_time{end + 1} = sprintf(cut_style, 2);
plots_mem{end + 1} = sprintf(cut_style, 3);
n = [rows.n];
times = [rows.time];
nets = [rows.net_mb];
nets = nets(nets > 0);
script = {
    'set terminal pngcairo size 1400,560 noenhanced'
    sprintf('set output ''%s''', png_file)
    'set multiplot layout 1,2'
    'set logscale xy'
    'set grid'
    'set key top left'
    sprintf('set xrange [%g:%g]', min(n) / 1.3, max(n) * 1.3)
    sprintf('set xtics (%s)', strjoin(arrayfun(@num2str, unique(n), 'UniformOutput', false), ', '))
    'set xlabel ''n'''
    'set ylabel ''time [s]'''
    'set title ''Time to the stop against n (slopes: runs that ended by their own test)'''
    sprintf('set yrange [%g:%g]', range_of(times))
    log_tics(range_of(times))
    ['plot ' strjoin(plots_time, ', ')]
    'set ylabel ''net peak memory [MB]'''
    'set title ''Peak resident memory of the solve, less the host''''s with the data loaded'''
    sprintf('set yrange [%g:%g]', range_of(nets))
    log_tics(range_of(nets))
    ['plot ' strjoin(plots_mem, ', ')]
    'unset multiplot'};
script_file = fullfile(work_dir, 'scale-bench.gp');
fid = fopen(script_file, 'w');
fprintf(fid, '%s\n', script{:});
fclose(fid);
[status, out] = system(sprintf('gnuplot %s 2>&1', shell_quote(script_file)));
if status ~= 0
    error('scale_benchmark:gnuplot', 'gnuplot could not draw out_png ''%s'': %s', png_file, out);
end
end

function v = positive_or_nan(v)
v(~(v > 0)) = NaN;
end

function line = log_tics(lim)
% Tics at 1, 2 and 5 times the powers of ten in the range, so that a range
% narrower than a decade has labels too.
decades = floor(log10(lim(1))):ceil(log10(lim(2)));
tics = kron(10 .^ decades, [1 2 5]);
tics = tics(tics >= lim(1) & tics <= lim(2));
line = sprintf('set ytics (%s)', strjoin(arrayfun(@(t) sprintf('%g', t), tics, ...
    'UniformOutput', false), ', '));
end

function lim = range_of(v)
v = v(isfinite(v) & v > 0);
if isempty(v)
    lim = [0.1 10];
else
    lim = [min(v) / 2, max(v) * 2];
end
end
