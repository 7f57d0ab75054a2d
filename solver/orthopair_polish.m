function [X, report] = orthopair_polish(A, E, lambda, X, opts)
% ORTHOPAIR_POLISH  Improve any feasible point until it is certified, and say what was gained.
%
%   [X, REPORT] = ORTHOPAIR_POLISH(A, E, LAMBDA, X) takes a point X of the
%   problem of ORTHOPAIR_SOLVE (another solver's output, say), improves it by
%   exact two-row steps and proximal steps until both stationarity
%   conditions hold, and reports what each condition measured before and
%   after. X must have orthonormal columns to 1e-8; a point further off is
%   refused rather than silently moved.
%
%   OPTS are those of ORTHOPAIR_SOLVE (tol, tol_stat, time_limit, ...).
%
%   REPORT fields: f_before, f_after, gain (f_before - f_after >= 0),
%   relative_gain, stop, certified, time, and before / after, each with
%   pair_gap (the largest relative decrease any single pair step offers) and
%   stationarity (the least-norm projected subgradient, absolute and
%   relative to max(1, norm(grad f, 'fro'))), and info (ORTHOPAIR_SOLVE's).
%
%   Example:
%       [X, report] = orthopair_polish(-C, [], 0.8, X_from_another_solver);
%       report.gain, report.after
%
%   See also ORTHOPAIR_SOLVE, ORTHOPAIR_CERTIFY.

if nargin < 4
    error('orthopair_polish:nargin', 'Call as orthopair_polish(A, E, lambda, X) or with opts.');
end
if nargin < 5 || isempty(opts)
    opts = struct();
end
if isfield(opts, 'verbose') && opts.verbose
    fprintf('polishing: measuring the starting point\n');
end
before = orthopair_certify(A, E, lambda, X);
[X, info] = orthopair_solve(A, E, lambda, X, opts);
after = orthopair_certify(A, E, lambda, X, struct('pairs', false));
report.f_before = before.f;
report.f_after = info.f;
report.gain = before.f - info.f;
report.relative_gain = report.gain / max(1, abs(before.f));
report.stop = info.stop;
report.certified = strcmp(info.stop, 'certified');
report.time = info.time;
report.before = struct('pair_gap', before.pair_gap, 'stationarity', before.stationarity, ...
    'relative_stationarity', before.relative_stationarity);
report.after = struct('pair_gap', info.pair_gap, 'stationarity', after.stationarity, ...
    'relative_stationarity', after.relative_stationarity);
report.info = info;
end
