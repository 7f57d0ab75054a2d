function varargout = orthopair_problem(what, varargin)
% ORTHOPAIR_PROBLEM  Check the data of a problem, and multiply by its A in any of its forms.
%
%   The front ends of the solver share these checks, so that every one of
%   them refuses the same bad call the same way, before any work.
%
%   [N, R, E, LAM] = ORTHOPAIR_PROBLEM('check', CALLER, A, E, LAMBDA, X, XNAME)
%   checks the data of
%
%       F(X) = 1/2*trace(X'*A*X) + <E, X> + sum_k LAMBDA(k)*norm(X(:, k), 1),  X'*X = I,
%
%   and raises CALLER:<reason> with a message naming the argument on the
%   first fault. A is one of
%     - a real symmetric n-by-n double matrix, full or sparse (symmetric to
%       1e-12*max(abs(A(:)))), n >= 2;
%     - struct('D', D, 'scale', S): A = S*D'*D for a real full m-by-n double
%       D (m >= 1) and a real finite nonzero S; nothing n-by-n is formed.
%   E is [] or a real n-by-r matrix; LAMBDA a real scalar or r weights,
%   finite and >= 0; X (named XNAME in messages) a real n-by-r double matrix,
%   1 <= r <= n, with X'*X = I to 1e-8, or a whole number r (the number of
%   columns of a start still to be made). Returns n, r, E as a full n-by-r
%   matrix (zeros for []) and LAM, the 1-by-r weights. Reasons: nargin,
%   notRealDouble, sizes, notFinite, notSymmetric, badA, notFeasible,
%   negativeLambda. With a last argument true, the entries of a matrix A are
%   not looked at (finite, symmetric): for a caller that hands A to
%   ORTHOPAIR_RUN, which checks them as fast as it reads them.
%
%   ORTHOPAIR_PROBLEM('options', CALLER, OPTS, EXTRA) checks the options of
%   ORTHOPAIR_SOLVE in OPTS against the table ORTHOPAIR_RUN() returns (type
%   and range), and the names in the cell array EXTRA as known too. Of
%   these, plot is checked as ORTHOPAIR_SOLVE takes it, and where EXTRA
%   names verbose, print_every is taken only with verbose true. Raises
%   CALLER:badOption or CALLER:badPlot.
%
%   V = ORTHOPAIR_PROBLEM('default', NAME) is the default of the option NAME
%   in the table ORTHOPAIR_RUN() returns, the one place defaults are written.
%
%   OPTS = ORTHOPAIR_PROBLEM('arguments', CALLER, N_IN, N_DATA, DATA, OPTS)
%   checks the count of inputs CALLER was given, N_IN: N_DATA data
%   arguments (named in the comma-separated list DATA) and an optional last
%   one, OPTS, which must be a scalar struct or []. Returns OPTS with [] made
%   struct(). Raises CALLER:nargin or CALLER:badOption.
%
%   V = ORTHOPAIR_PROBLEM('option', OPTS, NAME, DEFAULT) is OPTS.(NAME), or
%   DEFAULT where OPTS has no such field or it holds [].
%
%   AX = ORTHOPAIR_PROBLEM('times', A, X) is A*X, for the struct form
%   S*(D'*(D*X)). K = ORTHOPAIR_PROBLEM('block', A, P) is A(P, P).
%
%   Example:
%       D = [1 2 0; 0 1 1];
%       A = struct('D', D, 'scale', 2);
%       X = eye(3, 2);
%       [n, r] = orthopair_problem('check', 'demo', A, [], 0.1, X, 'X')
%       AX = orthopair_problem('times', A, X)     % equals 2*(D'*D)*X
%
%   See also ORTHOPAIR_SOLVE, ORTHOPAIR_CERTIFY, ORTHOPAIR_POLISH.

switch what
    case 'check'
        [varargout{1:4}] = check_data(varargin{:});
    case 'options'
        check_options(varargin{:});
    case 'arguments'
        varargout{1} = check_arguments(varargin{:});
    case 'default'
        table = orthopair_run();
        varargout{1} = table(strcmp({table.name}, varargin{1})).default;
    case 'option'
        [opts, name, default] = varargin{1:3};
        if isfield(opts, name) && ~isempty(opts.(name))
            varargout{1} = opts.(name);
        else
            varargout{1} = default;
        end
    case 'times'
        [A, X] = varargin{1:2};
        if isstruct(A)
            varargout{1} = A.scale * (A.D' * (A.D * X));
        else
            varargout{1} = full(A * X);
        end
    case 'block'
        [A, P] = varargin{1:2};
        if isstruct(A)
            DP = A.D(:, P);
            varargout{1} = A.scale * (DP' * DP);
        else
            varargout{1} = full(A(P, P));
        end
    otherwise
        error('orthopair_problem:badCall', 'unknown request ''%s''.', what);
end
end

function [n, r, E, lam] = check_data(caller, A, E, lambda, X, xname, shape_only)
if nargin < 7
    shape_only = false;
end
n = check_A(caller, A, shape_only);
if isnumeric(X) && isscalar(X) && isreal(X)
    r = double(X);
    if ~(r == fix(r) && r >= 1 && r <= n)
        fail(caller, 'sizes', 'argument 4 (%s) as a number of columns must be a whole number in 1..%d, got %g.', ...
            xname, n, r);
    end
else
    real_double(caller, X, 4, xname);
    r = size(X, 2);
    if size(X, 1) ~= n || r < 1 || r > n
        fail(caller, 'sizes', 'argument 4 (%s) must be %d-by-r with 1 <= r <= %d, got %dx%d.', ...
            xname, n, n, size(X, 1), r);
    end
    if ~all(isfinite(X(:)))
        fail(caller, 'notFinite', 'argument 4 (%s) has NaN or Inf entries.', xname);
    end
    defect = norm(X' * X - eye(r), 'fro');
    if ~(defect <= 1e-8)
        fail(caller, 'notFeasible', ...
            'argument 4 (%s) must have orthonormal columns: norm(%s''*%s - I, ''fro'') = %g > 1e-8.', ...
            xname, xname, xname, defect);
    end
end
if isempty(E) && isnumeric(E) && ~issparse(E) && isequal(size(E), [0 0])
    E = zeros(n, r);
else
    real_double(caller, E, 2, 'E');
    if ~isequal(size(E), [n r])
        fail(caller, 'sizes', 'argument 2 (E) must be [] or %d-by-%d like %s, got %dx%d.', ...
            n, r, xname, size(E, 1), size(E, 2));
    end
    if ~all(isfinite(E(:)))
        fail(caller, 'notFinite', 'argument 2 (E) has NaN or Inf entries.');
    end
end
real_double(caller, lambda, 3, 'lambda');
if ~(isscalar(lambda) || (isvector(lambda) && numel(lambda) == r))
    fail(caller, 'sizes', 'argument 3 (lambda) must be a scalar or a vector of %d weights, got %dx%d.', ...
        r, size(lambda, 1), size(lambda, 2));
end
if ~all(isfinite(lambda))
    fail(caller, 'notFinite', 'argument 3 (lambda) must be finite.');
end
if any(lambda < 0)
    fail(caller, 'negativeLambda', 'argument 3 (lambda) must be >= 0, got %g.', min(lambda));
end
lam = reshape(lambda, 1, []) .* ones(1, r);
end

function n = check_A(caller, A, shape_only)
if isstruct(A)
    if ~isscalar(A) || ~isequal(sort(fieldnames(A)), {'D'; 'scale'})
        fail(caller, 'badA', 'argument 1 (A) as a struct must have exactly the fields D and scale.');
    end
    D = A.D;
    if ~isa(D, 'double') || ~isreal(D) || issparse(D) || ~ismatrix(D)
        fail(caller, 'badA', 'argument 1 (A): field D must be a real full double matrix.');
    end
    n = size(D, 2);
    if size(D, 1) < 1 || n < 2
        fail(caller, 'sizes', 'argument 1 (A): field D must be m-by-n with m >= 1, n >= 2, got %dx%d.', ...
            size(D, 1), n);
    end
    if ~all(isfinite(D(:)))
        fail(caller, 'notFinite', 'argument 1 (A): field D has NaN or Inf entries.');
    end
    s = A.scale;
    if ~isa(s, 'double') || ~isreal(s) || ~isscalar(s) || ~isfinite(s) || s == 0
        fail(caller, 'badA', 'argument 1 (A): field scale must be a real finite nonzero number.');
    end
    return;
end
real_double(caller, A, 1, 'A', true);
n = size(A, 1);
if size(A, 2) ~= n || n < 2
    fail(caller, 'sizes', 'argument 1 (A) must be square and at least 2x2, got %dx%d.', ...
        size(A, 1), size(A, 2));
end
if shape_only
    return;
end
% Only the stored entries of a sparse A; all entries of a full one (nonzeros
% would copy a full A entry by entry).
if issparse(A)
    values = nonzeros(A);
    asym = nonzeros(A - A.');
else
    values = A(:);
    asym = A - A.';
    asym = asym(:);
end
if ~all(isfinite(values))
    fail(caller, 'notFinite', 'argument 1 (A) has NaN or Inf entries.');
end
if ~isempty(asym) && max(abs(asym)) > 1e-12 * max(abs(values))
    fail(caller, 'notSymmetric', ...
        'argument 1 (A) must be symmetric: max(abs(A - A'')) = %g exceeds 1e-12*max(abs(A(:))).', ...
        max(abs(asym)));
end
end

function real_double(caller, a, pos, name, sparse_ok)
if nargin < 5
    sparse_ok = false;
end
if ~isa(a, 'double') || ~isreal(a) || (issparse(a) && ~sparse_ok) || ~ismatrix(a)
    what = class(a);
    if issparse(a)
        what = 'sparse matrix';
    elseif isnumeric(a) && ~isreal(a)
        what = 'complex matrix';
    end
    fail(caller, 'notRealDouble', 'argument %d (%s) must be a real%s double matrix, got a %s.', ...
        pos, name, ternary(sparse_ok, '', ' full'), what);
end
end

function opts = check_arguments(caller, n_in, n_data, data, opts)
if n_in < n_data || n_in > n_data + 1
    fail(caller, 'nargin', 'expected %d or %d inputs (%s[, opts]), got %d.', n_data, n_data + 1, ...
        data, n_in);
end
if isnumeric(opts) && isempty(opts)
    opts = struct();
end
if ~isstruct(opts) || ~isscalar(opts)
    fail(caller, 'badOption', 'opts must be a scalar struct or [].');
end
end

function check_options(caller, opts, extra)
if isnumeric(opts) && isempty(opts)
    return;
end
if ~isstruct(opts) || ~isscalar(opts)
    fail(caller, 'badOption', 'opts must be a scalar struct or [].');
end
table = orthopair_run();
names = [{table.name}, extra(~ismember(extra, {table.name}))];
given = fieldnames(opts);
for k = 1:numel(given)
    name = given{k};
    at = find(strcmp(name, {table.name}));
    if isempty(at)
        if ~any(strcmp(name, names))
            fail(caller, 'badOption', 'unknown option ''%s''; known: %s.', name, strjoin(names, ', '));
        end
        continue;
    end
    v = opts.(name);
    if isnumeric(v) && isempty(v)
        continue;                            % [] means the default
    end
    entry = table(at);
    switch entry.type
        case {'number', 'whole number'}
            ok = isnumeric(v) && isreal(v) && isscalar(v) && ~issparse(v) && v >= entry.range(1) ...
                && v <= entry.range(2) && (strcmp(entry.type, 'number') || ~isfinite(v) || v == fix(v));
            if ~ok
                fail(caller, 'badOption', 'option %s must be a %s in [%g, %g].', name, entry.type, ...
                    entry.range(1), entry.range(2));
            end
        case 'logical'
            if ~((islogical(v) || isnumeric(v)) && isscalar(v) && isreal(v) && (v == 0 || v == 1))
                fail(caller, 'badOption', 'option %s must be true or false.', name);
            end
        case 'function handle'
            if ~isa(v, 'function_handle')
                fail(caller, 'badOption', 'option %s must be a function handle, got a %s.', name, class(v));
            end
        otherwise                            % the rule: its type names every rule
            rules = regexp(entry.type, '''(\w+)''', 'tokens');
            if ~ischar(v) || ~any(strcmp(v, [rules{:}]))
                fail(caller, 'badOption', 'option %s must be %s.', name, entry.type);
            end
    end
end
% The front end's own options, where the caller takes them (seed and
% verbose are rows of the table, checked above).
verbose = isfield(opts, 'verbose') && ~isempty(opts.verbose) && opts.verbose == 1;
if any(strcmp('verbose', extra)) && ~verbose && isfield(opts, 'print_every') && ~isempty(opts.print_every)
    fail(caller, 'badOption', 'option print_every sets the spacing of progress lines; it needs verbose = true.');
end
if any(strcmp('plot', extra)) && isfield(opts, 'plot') && ~isempty(opts.plot)
    v = opts.plot;
    if ischar(v) && size(v, 1) == 1
        folder = fileparts(v);
        if ~isempty(folder) && ~exist(folder, 'dir')
            fail(caller, 'badPlot', 'option plot names the file %s in a folder that does not exist.', v);
        end
    elseif ~((islogical(v) || isnumeric(v)) && isscalar(v) && isreal(v) && (v == 0 || v == 1))
        fail(caller, 'badPlot', 'option plot must be true, false or a file name.');
    end
end
end

function out = ternary(c, a, b)
if c
    out = a;
else
    out = b;
end
end

function fail(caller, reason, varargin)
error([caller ':' reason], [caller ': ' varargin{1}], varargin{2:end});
end

%!test
%! D = [1 2 0 1; 0 1 1 3];
%! X = orth([1 0; 0 1; 1 1; 0 2]);
%! for form = {2 * (D' * D), sparse(2 * (D' * D)), struct('D', D, 'scale', 2)}
%!   [n, r, E, lam] = orthopair_problem('check', 'demo', form{1}, [], [0.1 0.2], X, 'X');
%!   assert([n r], [4 2]);
%!   assert(E, zeros(4, 2));
%!   assert(lam, [0.1 0.2]);
%!   assert(orthopair_problem('times', form{1}, X), 2 * (D' * D) * X, 1e-12);
%!   assert(orthopair_problem('block', form{1}, [3 1]), 2 * (D(:, [3 1])' * D(:, [3 1])), 1e-12);
%! end
%!error id=demo:notSymmetric orthopair_problem('check', 'demo', [1 2; 3 4], [], 0, eye(2), 'X')
%!error id=demo:notFeasible orthopair_problem('check', 'demo', eye(3), [], 0, ones(3, 1), 'X')
%!error id=demo:sizes orthopair_problem('check', 'demo', eye(3), ones(3, 1), 0, eye(3, 2), 'X')
%!error id=demo:negativeLambda orthopair_problem('check', 'demo', eye(3), [], -1, eye(3, 2), 'X')
%!error id=demo:badA orthopair_problem('check', 'demo', struct('D', eye(3), 'scale', 0), [], 0, eye(3, 2), 'X')
%!error id=demo:badOption orthopair_problem('options', 'demo', struct('tol', -1), {})
%!error id=demo:badOption orthopair_problem('options', 'demo', struct('nosuch', 1), {})
%!test
%! assert(orthopair_problem('arguments', 'demo', 3, 3, 'A, B, C', []), struct());
%! assert(orthopair_problem('arguments', 'demo', 4, 3, 'A, B, C', struct('tol', 1)), struct('tol', 1));
%!error <expected 3 or 4 inputs \(A, B, C\[, opts\]\), got 2> orthopair_problem('arguments', 'demo', 2, 3, 'A, B, C', [])
%!error id=demo:nargin orthopair_problem('arguments', 'demo', 5, 3, 'A, B, C', [])
%!error id=demo:badOption orthopair_problem('arguments', 'demo', 4, 3, 'A, B, C', {1})
%!test
%! opts = struct('a', 1, 'b', []);
%! assert(orthopair_problem('option', opts, 'a', 2), 1);
%! assert(orthopair_problem('option', opts, 'b', 2), 2);
%! assert(orthopair_problem('option', opts, 'c', 'x'), 'x');
%! assert(orthopair_problem('option', struct(), 'a', []), []);
