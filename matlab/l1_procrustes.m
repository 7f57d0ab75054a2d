function [X, info] = l1_procrustes(M, Y, lambda, opts)
% L1_PROCRUSTES  Orthogonal Procrustes problem with an L1 penalty.
%
%   [X, INFO] = L1_PROCRUSTES(M, Y, LAMBDA) solves
%
%       minimise   1/2*norm(M*X - Y, 'fro')^2 + sum_k LAMBDA(k)*norm(X(:, k), 1)
%       subject to X'*X = I,        X is n-by-r,
%
%   for a real M (m-by-n, n >= 2) and Y (m-by-r, 1 <= r <= n). With
%   LAMBDA = 0 and M'*M a multiple of the identity the answer is the
%   orthogonal polar factor of M'*Y; the L1 term asks for an orthonormal X
%   with many exact zeros. LAMBDA is a scalar or one weight per column,
%   >= 0. This is ORTHOPAIR_SOLVE with A = M'*M (kept as the pair
%   struct('D', M, 'scale', 1), never formed where the native run takes that
%   form) and E = -M'*Y.
%
%   Everything this function reports is the objective above, the constant
%   1/2*norm(Y, 'fro')^2 included: INFO.f, INFO.f0, INFO.history.f, the
%   INFO.f that the callback sees, and OPTS.target_f is compared with it.
%
%   [X, INFO] = L1_PROCRUSTES(M, Y, LAMBDA, OPTS): OPTS are those of
%   ORTHOPAIR_SOLVE plus X0, the start (default: the orthogonal polar factor
%   of M'*Y). Bad arguments raise l1_procrustes:<reason> (nargin,
%   notRealDouble, sizes, notFinite, negativeLambda, notFeasible, badOption,
%   badPlot).
%
%   Example:
%       Q = orth(seeded_uniform(30, 4, 3) - 0.5);
%       Y = Q + 0.01*(seeded_uniform(30, 4, 5) - 0.5);
%       [X, info] = l1_procrustes(eye(30), Y, 0.05);
%       info.f, nnz(X)
%
%   See also ORTHOPAIR_SOLVE, SPARSE_PCA, ORTHOPAIR_CERTIFY.

started = tic;
if nargin < 4
    opts = [];
end
opts = orthopair_problem('arguments', 'l1_procrustes', nargin, 3, 'M, Y, lambda', opts);
for arg = {{M, 1, 'M'}, {Y, 2, 'Y'}}
    [a, pos, name] = arg{1}{:};
    if ~isa(a, 'double') || ~isreal(a) || issparse(a) || ~ismatrix(a)
        error('l1_procrustes:notRealDouble', ...
            'l1_procrustes: argument %d (%s) must be a real full double matrix, got a %s.', pos, name, class(a));
    end
    if ~all(isfinite(a(:)))
        error('l1_procrustes:notFinite', 'l1_procrustes: argument %d (%s) has NaN or Inf entries.', pos, name);
    end
end
[m, n] = size(M);
r = size(Y, 2);
if m < 1 || n < 2 || size(Y, 1) ~= m || r < 1 || r > n
    error('l1_procrustes:sizes', ...
        'l1_procrustes: M (m-by-n, n >= 2) and Y (m-by-r, 1 <= r <= n) must have the same rows; got %dx%d and %dx%d.', ...
        m, n, size(Y, 1), r);
end
E = -(M' * Y);
start = r;
if isfield(opts, 'X0')
    if ~isempty(opts.X0)
        start = opts.X0;
    end
    opts = rmfield(opts, 'X0');
end
A = struct('D', M, 'scale', 1);
% lambda, a given start and the options are checked here, before the polar
% factor and before the limits are moved below.
orthopair_problem('check', 'l1_procrustes', A, E, lambda, start, 'X0');
orthopair_problem('options', 'l1_procrustes', opts, {'seed', 'verbose', 'plot'});
if isnumeric(start) && isscalar(start)
    start = polar_factor(-E);
end

% The solver minimises the objective less its constant: the limits and
% everything the callback sees are moved by it.
shift = 0.5 * sum(Y(:) .^ 2);
if isfield(opts, 'target_f') && ~isempty(opts.target_f)
    opts.target_f = opts.target_f - shift;
end
if isfield(opts, 'callback') && ~isempty(opts.callback)
    user = opts.callback;
    opts.callback = @(info) user(shifted(info, shift));
end
if isfield(opts, 'time_limit') && ~isempty(opts.time_limit)
    opts.time_limit = max(0, opts.time_limit - toc(started));
end
try
    [X, info] = orthopair_solve(A, E, lambda, start, opts);
catch err
    % Until the native run takes A in its data form, A = M'*M is formed.
    if ~any(strcmp(err.identifier, {'orthopair_run:notRealDouble', 'orthopair_solve:notRealDouble'}))
        rethrow(err);
    end
    Ad = M' * M;
    [X, info] = orthopair_solve(0.5 * (Ad + Ad'), E, lambda, start, opts);
end
info = shifted(info, shift);
info.f0 = info.f0 + shift;
info.time = toc(started);
end

function info = shifted(info, shift)
info.f = info.f + shift;
info.history.f = info.history.f + shift;
end

function U = polar_factor(B)
% The orthonormal matrix nearest to B: U*V' from the thin SVD.
[U, ~, V] = svd(B, 0);
U = U * V';
end

%!test
%! % With M = I the problem is the nearest orthonormal X to Y, sparse where Y is.
%! Q = [eye(3); zeros(2, 3)];
%! Y = Q + 0.01 * [1 0 0; 0 -1 0; 0 0 1; 1 1 0; 0 1 -1];
%! [X, info] = l1_procrustes(eye(5), Y, 0.05);
%! assert(norm(X' * X - eye(3), 'fro') < 1e-12);
%! F = 0.5 * norm(X - Y, 'fro')^2 + 0.05 * sum(abs(X(:)));
%! assert(abs(info.f - F) <= 1e-12 * max(1, abs(F)));
%! assert(info.history.f(end), info.f, 1e-12);
%! assert(strcmp(info.stop, 'certified'));
%!error id=l1_procrustes:sizes l1_procrustes(eye(4), ones(3, 2), 0)
%!error id=l1_procrustes:negativeLambda l1_procrustes(eye(4), ones(4, 2), -1)
%!error id=l1_procrustes:nargin l1_procrustes(eye(4), ones(4, 2))
