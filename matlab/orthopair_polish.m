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
%   A, E and LAMBDA are as for ORTHOPAIR_SOLVE (A full, sparse or
%   struct('D', D, 'scale', S)). Every argument and option is checked before
%   any measuring; a bad call raises orthopair_polish:<reason> (nargin,
%   notRealDouble, sizes, notFinite, notSymmetric, badA, notFeasible,
%   negativeLambda, badOption).
%
%   OPTS are those of ORTHOPAIR_SOLVE (tol, tol_stat, time_limit, ...).
%   time_limit counts from the call of ORTHOPAIR_POLISH and covers the
%   measuring of the starting point: when the limit is spent during its
%   O(n^2) pair scan, the scan stops there and REPORT.before.pair_gap is
%   NaN.
%
%   REPORT fields: f_before, f_after, gain (f_before - f_after >= 0),
%   relative_gain, stop, certified, time (seconds from the call), and
%   before / after, each with pair_gap (the largest relative decrease any
%   single pair step offers) and stationarity (the least-norm projected
%   subgradient, absolute and relative to max(1, norm(grad f, 'fro'))), and
%   info (ORTHOPAIR_SOLVE's).
%
%   Example:
%       C = cov(seeded_uniform(60, 10, 5));
%       X0 = orth(seeded_uniform(10, 2, 6) - 0.5);
%       [X, report] = orthopair_polish(-C, [], 0.2, X0);
%       report.gain, report.after
%
%   See also ORTHOPAIR_SOLVE, ORTHOPAIR_CERTIFY.

started = tic;
if nargin < 5
    opts = [];
end
opts = orthopair_problem('arguments', 'orthopair_polish', nargin, 4, 'A, E, lambda, X', opts);
orthopair_problem('options', 'orthopair_polish', opts, {'seed', 'verbose', 'plot'});
orthopair_problem('check', 'orthopair_polish', A, E, lambda, X, 'X');
if isscalar(X)
    error('orthopair_polish:sizes', 'orthopair_polish: argument 4 (X) must be an n-by-r matrix.');
end
verbose = isfield(opts, 'verbose') && ~isempty(opts.verbose) && isscalar(opts.verbose) ...
    && opts.verbose == 1;
limit = Inf;
if isfield(opts, 'time_limit') && ~isempty(opts.time_limit)
    limit = opts.time_limit;
end
if verbose
    fprintf('polishing: measuring the starting point\n');
end
before = orthopair_certify(A, E, lambda, X, struct('time_limit', max(0, limit - toc(started))));
if isfinite(limit)
    opts.time_limit = max(0, limit - toc(started));
end
[X, info] = orthopair_solve(A, E, lambda, X, opts);
after = orthopair_certify(A, E, lambda, X, struct('pairs', false));
report.f_before = before.f;
report.f_after = info.f;
report.gain = before.f - info.f;
report.relative_gain = report.gain / max(1, abs(before.f));
report.stop = info.stop;
report.certified = strcmp(info.stop, 'certified');
report.before = struct('pair_gap', before.pair_gap, 'stationarity', before.stationarity, ...
    'relative_stationarity', before.relative_stationarity);
report.after = struct('pair_gap', info.pair_gap, 'stationarity', after.stationarity, ...
    'relative_stationarity', after.relative_stationarity);
report.info = info;
report.time = toc(started);
end

%!test
%! C = cov(seeded_uniform(60, 10, 5));
%! X0 = orth(seeded_uniform(10, 2, 6) - 0.5);
%! [X, report] = orthopair_polish(-C, [], 0.2, X0);
%! assert(report.certified && report.gain >= 0);
%! assert(norm(X' * X - eye(2), 'fro') < 1e-12);
%! F = -0.5 * trace(X' * C * X) + 0.2 * sum(abs(X(:)));
%! assert(abs(report.f_after - F) <= 1e-12 * max(1, abs(F)));
%!test
%! % A limit spent before the run: X comes back as given, the scan cut short.
%! C = cov(seeded_uniform(60, 10, 5));
%! X0 = orth(seeded_uniform(10, 2, 6) - 0.5);
%! [X, report] = orthopair_polish(-C, [], 0.2, X0, struct('time_limit', 0));
%! assert(strcmp(report.stop, 'time_limit') && norm(X - X0, 'fro') < 1e-12 && isnan(report.before.pair_gap));
%!error id=orthopair_polish:notFeasible orthopair_polish(eye(3), [], 0, ones(3, 2))
%!error id=orthopair_polish:badOption orthopair_polish(eye(3), [], 0, eye(3, 2), struct('tol', -1))
%!error id=orthopair_polish:nargin orthopair_polish(eye(3), [], 0)
