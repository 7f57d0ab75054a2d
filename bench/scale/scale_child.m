function scale_child(job_file)
% SCALE_CHILD  One instance of the scale benchmark, in a host process of its own.
%
%   SCALE_CHILD(JOB_FILE) is what SCALE_BENCHMARK runs in a fresh octave-cli
%   under /usr/bin/time, so that the peak memory the operating system
%   reports belongs to this instance alone. JOB_FILE is a MAT-file with
%     data_file    MAT-file of the instance (B, X0, lambda, n, r)
%     result_file  where the results go (MAT version 6)
%     mode         'solve', or 'idle': everything but the solve, for the
%                  memory of the host with the data loaded
%     time_limit   seconds given to the solver
%     dense_max_n  largest n for which a host without the data form falls
%                  back to the dense matrix A = -2*B'*B
%
%   Both modes load the data, load the MEX-files (a tiny run that also
%   tells whether the data form A = struct('D', B, 'scale', s) is taken, by
%   ORTHOPAIR_SOLVE or only by the MEX-file ORTHOPAIR_RUN underneath),
%   time the workload Y = B'*(B*X0); [Q, R] = qr(Y, 0) that the peers'
%   times are scaled by, and time the two products with the data a
%   proximal step needs (B*X and B'*Y). 'solve' then runs ORTHOPAIR_SOLVE
%   from X0 with the given time limit and records F, the stop, the
%   certificate values and the wall time of the call (which includes
%   forming A in the dense fallback), and the time its proximal steps took
%   (from the info's history where it has no time per phase).
%
%   See also SCALE_BENCHMARK.

job = load(job_file);
res = struct('mode', job.mode, 'form', '', 'stop', '', 'message', '', 'f', NaN, ...
    'time', NaN, 'solver_time', NaN, 'iterations', NaN, 'prox_steps', NaN, ...
    'pair_gap', NaN, 'stationarity', NaN, 'stationarity_rel', NaN, 'feasibility', NaN, ...
    'touched', [], 'prox_time', NaN, 'prox_timed_steps', NaN, 'workload_s', NaN, 'products_s', NaN, 'info_fields', '');
try
    S = load(job.data_file);
    B = S.B;
    X0 = S.X0;
    route = data_form_route();
    res.workload_s = fastest_time(@() workload(B, X0));
    res.products_s = fastest_time(@() products(B, X0));
    if ~isempty(route)
        res.form = route;
    elseif S.n <= job.dense_max_n
        res.form = 'dense';
    else
        res.form = 'none';
    end
    if strcmp(job.mode, 'solve')
        res = solve(res, S, job.time_limit);
    end
catch err
    res.stop = 'error';
    res.message = sprintf('%s: %s', err.identifier, err.message);
end
save('-v6', job.result_file, '-struct', 'res');
end

function res = solve(res, S, time_limit)
opts = struct('time_limit', time_limit);
switch res.form
    case 'data'
        clock = tic;
        [X, info] = orthopair_solve(struct('D', S.B, 'scale', -2), [], S.lambda, S.X0, opts);
        res.time = toc(clock);
    case 'data-run'
        % What orthopair_solve does with these options, one layer down.
        run_opts = opts;
        run_opts.seed = 1;
        clock = tic;
        [X, info] = orthopair_run(struct('D', S.B, 'scale', -2), [], S.lambda, S.X0, run_opts);
        res.time = toc(clock);
    case 'dense'
        clock = tic;
        % B'*B of one operand is formed symmetric to the bit (a rank-k
        % update), so no copy is spent on symmetrising it.
        A = -2 * (S.B' * S.B);
        [X, info] = orthopair_solve(A, [], S.lambda, S.X0, opts);
        res.time = toc(clock);
    otherwise
        res.stop = 'skipped';
        res.message = sprintf('no data form in this build and n = %d is too large for dense A', S.n);
        return;
end
BX = S.B * X;
res.f = -sum(BX(:) .^ 2) + S.lambda * sum(abs(X(:)));
res.stop = info.stop;
res.solver_time = info.time;
res.iterations = info.iterations;
res.prox_steps = info.prox_steps;
res.pair_gap = info.pair_gap;
res.stationarity = info.stationarity;
res.stationarity_rel = info.stationarity / info.stationarity_scale;
res.feasibility = norm(X' * X - eye(size(X, 2)), 'fro');
if isfield(info, 'touched')
    res.touched = double(info.touched(:)');
end
[res.prox_time, res.prox_timed_steps] = prox_phase_time(info);
res.info_fields = strjoin(fieldnames(info)', ',');
end

function route = data_form_route()
% A tiny run with no steps: does this build take A as data, through
% orthopair_solve ('data'), only through the MEX-file orthopair_run
% ('data-run'), or not at all ('')? Either way the MEX-files end up loaded.
D = [1 0 2 0; 0 1 0 -1; 1 1 1 1];
A = struct('D', D, 'scale', -2);
none = struct('max_iter', 0);
route = '';
try
    orthopair_solve(A, [], 0.1, eye(4, 2), none);
    route = 'data';
    return;
catch err %#ok<NASGU>
end
try
    orthopair_run(A, [], 0.1, eye(4, 2), none);
    route = 'data-run';
catch err %#ok<NASGU>
    orthopair_run(-2 * (D' * D), [], 0.1, eye(4, 2), none);
end
end

function [t, steps] = prox_phase_time(info)
% Seconds spent in proximal steps and how many steps that time covers: from
% the info where it reports the time of that phase, else from the history,
% summing the intervals between recorded points in which only proximal
% steps were taken (no pair step, move or sweep).
t = NaN;
steps = NaN;
for name = {'prox_time', 'time_prox'}
    if isfield(info, name{1}) && isfinite(info.(name{1}))
        t = double(info.(name{1}));
        steps = info.prox_steps;
        return;
    end
end
if ~isfield(info, 'history') || ~all(isfield(info.history, {'time', 'prox_steps', 'iteration', 'sweeps'}))
    return;
end
h = info.history;
dt = diff(h.time(:));
dprox = diff(h.prox_steps(:));
only_prox = dprox > 0 & diff(h.iteration(:)) == dprox & diff(h.sweeps(:)) == 0;
if any(only_prox)
    t = sum(dt(only_prox));
    steps = sum(dprox(only_prox));
end
end

function workload(B, X0)
% The workload the peers' times are scaled by.
Y = B' * (B * X0);
[Q, R] = qr(Y, 0); %#ok<ASGLU>
end

function products(B, X)
Y = B * X;
Z = B' * Y; %#ok<NASGU>
end

function t = fastest_time(fun)
% Seconds per call: the fastest of 15 batches, each of enough calls to last
% about 20 ms, so that neither the clock's resolution nor a moment of load
% on a shared machine decides it.
clock = tic;
fun();
once = max(toc(clock), 1e-6);
calls = max(1, ceil(0.02 / once));
t = Inf;
for batch = 1:15
    clock = tic;
    for k = 1:calls
        fun();
    end
    t = min(t, toc(clock) / calls);
end
end
