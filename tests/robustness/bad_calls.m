function bad_calls(calls_per_function)
  % BAD_CALLS  Calls brevak, tolmiv and zandrel with generated bad and
  % borderline arguments and checks every outcome.
  %
  %   bad_calls(N) makes N calls of each MEX-file. Each call takes arguments
  %   of every class Octave has(double, single, the integer classes,
  %   logical, char, cell, struct, function handle, objects, sparse, complex,
  %   empty), arrays that are too short, NaN and Inf in every position, huge
  %   and fractional counts, and wrong numbers of inputs and outputs. Every
  %   call is checked against a model of the gateways' rules: a call that
  %   breaks one of them(missing inputs, too many outputs, a non-double
  %   array, an array shorter than the counts say, a count that is NaN,
  %   infinite, out of the 32-bit range or a negative n_cols or n_rows, a NaN
  %   or infinity among the values brevak reads) must raise an error whose
  %   identifier is '<function>:<reason>' with a message; any other call must
  %   return a valid result: brevak a real 2-by-2 double rotation or
  %   reflection, orthogonal up to rounding(and a real double scalar as its
  %   second output), tolmiv and zandrel a real 2-by-1 double [1; 2] or two
  %   distinct whole indices within n_cols. Only brevak:outOfMemory may stop
  %   a valid call. The function fails with a list of offending calls.

  if (nargin < 1)
    calls_per_function = 20000;
  end
  rand('state', 20240607);
  randn('state', 20240607);

  pool = bad_values();
  names = {'brevak', 'tolmiv', 'zandrel'};
  failures = {};
  n_errors = 0;
  n_results = 0;
  for f = 1:numel(names)
    name = names{f};
    for call = 1:calls_per_function
      [args, nout] = make_call(name, pool);
      [ok, errored, what] = check_call(name, args, nout);
      n_errors = n_errors + errored;
      n_results = n_results + ~errored;
      if (~ ok)
        failures{end+1} = sprintf('%s(%s) with %d outputs: %s', name, ...
                                   describe_args(args), nout, what);
      end
    end
  end

  % The MEX-files still answer ordinary calls correctly afterwards.
  V = brevak(eye(4), [1 2; 3 4], 0.1, [1 -2 0.5], [0.3 1 -1], 3);
  if (~ is_valid_v(V))
    failures{end+1} = 'brevak on ordinary data after the bad calls';
  end
  A = [1 0 1; 0 1 1];
  B = [1 3 0; 2 4 1];
  for name = {'tolmiv', 'zandrel'}
    p = feval(name{1}, A, B, 3, 2, 3);
    if (~ is_valid_pair(p, 3))
      failures{end+1} = sprintf('%s on ordinary data after the bad calls', name{1});
    end
  end

  total = numel(names) * calls_per_function;
  fprintf('bad_calls: %d calls, %d raised an error, %d returned a result, %d failed\n', ...
          total, n_errors, n_results, numel(failures));
  if (~ isempty(failures))
    for k = 1:min(numel(failures), 30)
      fprintf('  %s\n', failures{k});
    end
    error('bad_calls:failed', '%d of %d calls broke the contract', numel(failures), total);
  end
end

% ---------------------------------------------------------------------------

function [ok, errored, what] = check_call(name, args, nout)
  ok = true;
  errored = false;
  what = '';
  valid = is_valid_call(name, args, nout);
  second = [];
  try
    switch (nout)
      case 0
        clear ans;
        feval(name, args{:});
        if (exist('ans', 'var'))
          r = ans;
        else
          ok = false;
          what = 'no result with zero outputs requested';
          return;
        end
      case 1
        r = feval(name, args{:});
      otherwise
        outs = cell(1, nout);
        [outs{:}] = feval(name, args{:});
        r = outs{1};
        second = outs{2};
    end
  catch err
    errored = true;
    id = err.identifier;
    if (~strncmp(id, [name ':'], numel(name) + 1) || numel(id) == numel(name) + 1)
      ok = false;
      what = sprintf('error without its identifier: "%s" (%s)', id, err.message);
    elseif (isempty(err.message))
      ok = false;
      what = sprintf('error %s without a message', id);
    elseif (valid && ~strcmp(id, 'brevak:outOfMemory'))
      ok = false;
      what = sprintf('raised %s on a valid call: %s', id, err.message);
    end
    return;
  end

  if (~valid)
    ok = false;
    what = sprintf('returned %s where it must raise an error', describe(r));
    return;
  end
  if (strcmp(name, 'brevak'))
    ok = is_valid_v(r) && (nout < 2 || (isa(second, 'double') && isreal(second) ...
                                         && isequal(size(second), [1 1])));
  else
    ok = is_valid_pair(r, count_value(args{3}));
  end
  if (~ok)
    what = sprintf('invalid result %s', describe(r));
  end
end

function ok = is_valid_v(V)
  ok = isa(V, 'double') && isreal(V) && ~ issparse(V) && isequal(size(V), [2 2]) ...
       && all(isfinite(V(:)));
  if (~ ok)
    return;
  end
  rotation = V(1,1) == V(2,2) && V(2,1) == -V(1,2);
  reflection = V(1,1) == -V(2,2) && V(2,1) == V(1,2);
  ok = (rotation || reflection) && norm(V' * V - eye(2), 'fro') <= 1e-14;
end

function ok = is_valid_pair(p, n_cols)
  ok = isa(p, 'double') && isreal(p) && ~ issparse(p) && isequal(size(p), [2 1]);
  if (~ ok)
    return;
  end
  if (isequal(p, [1; 2]))
    return;
  end
  top = min(n_cols, 2^31);
  ok = all(p == fix(p)) && all(p >= 1) && all(p <= top) && p(1) ~= p(2);
end

% A count as the gateways take it: the first element truncated toward zero.
function n = count_value(x)
  n = fix(double(x(1)));
end

% Whether x passes as a count: a real, non-empty numeric or logical value
% whose first element is finite and truncates into the 32-bit range, and is
% not negative where it must not be.
function ok = is_good_count(x, non_negative)
  ok = is_count(x);
  if (ok)
    v = fix(double(x(1)));
    ok = isfinite(v) && v >= -2^31 && v <= 2^31 - 1 && ~(non_negative && v < 0);
  end
end

function ok = is_count(x)
  ok = (isnumeric(x) || islogical(x)) && ~isempty(x) && isreal(x) && ~issparse(x);
end

function ok = is_real_double(x)
  ok = isa(x, 'double') && isreal(x) && ~issparse(x);
end

% The gateways' rules: whether a call must be served(true) or refused.
function ok = is_valid_call(name, args, nout)
  ok = false;
  if (strcmp(name, 'brevak'))
    if (nout > 2 || numel(args) < 6)
      return;
    end
    [Q, G, lambda, z1, z2, n] = args{1:6};
    if (~is_real_double(Q) || numel(Q) < 16 || ~is_real_double(G) || numel(G) < 4 ...
        || ~is_count(lambda) || ~is_real_double(z1) || ~is_real_double(z2) ...
        || ~is_good_count(n, false) || count_value(n) > 2^29 - 1)
      return;
    end
    pairs = max(count_value(n), 0);
    if (numel(z1) < pairs || numel(z2) < pairs)
      return;
    end
    upper = [1 5 6 9 10 11 13 14 15 16];
    ok = all(isfinite(Q(upper))) && all(isfinite(G(1:4))) ...
         && isfinite(double(lambda(1))) ...
         && all(isfinite(z1(1:pairs))) && all(isfinite(z2(1:pairs)));
  else
    if (nout > 1 || numel(args) < 5)
      return;
    end
    [A, B, n_cols, n_rows, n_trials] = args{1:5};
    if (~is_real_double(A) || ~is_real_double(B) || ~is_good_count(n_cols, true) ...
        || ~is_good_count(n_rows, true) || ~is_good_count(n_trials, false))
      return;
    end
    needed = count_value(n_rows) * count_value(n_cols);
    ok = numel(A) >= needed && numel(B) >= needed;
  end
end

% ---------------------------------------------------------------------------
% Argument generation.

% A random whole number in 1 … a, or in a … b(randi, without its checks,
% which would cost more than the calls under test).
function k = ri(a, b)
  if (nargin < 2)
    b = a;
    a = 1;
  end
  k = a + floor(rand() * (b - a + 1));
end

function v = pick(c)
  v = c{ri(numel(c))};
end

% Values of every class and shape that no argument position accepts as such,
% or accepts only at its borders.
function pool = bad_values()
  pool = {[], zeros(0, 3), zeros(3, 0), '', 'abc', char(zeros(1, 16)), {}, {1, 2}, ...
          num2cell(1:16), struct(), struct('a', {1, 2}), struct([]), @sin, @(x) x, ...
          single(1:16), single(NaN), single([]), int8(1:16), uint8(1:16), int16(-3), ...
          uint16(65535), int32(1:16), uint32(7), int64(1:16), uint64(3), ...
          intmax('int64'), intmin('int64'), intmax('uint64'), intmax('int32'), intmin('int32'), ...
          true, false, true(4), logical([]), sparse(eye(4)), sparse(1), sparse([]), ...
          sparse(true(4)), complex(eye(4), 0), 1i, complex(1, 0), complex(single(1:16), 1), ...
          NaN, -NaN, Inf, -Inf, NaN(4), Inf(1, 16), -0, 0, -1, 1, 2, 3.9, -0.5, 1e10, -1e10, ...
          2^31, 2^31 - 1, -2^31, -2^31 - 1, 2^29, 2^29 - 1, realmax, -realmax, realmin, ...
          eps, 1e-300, 1:3, 1:15, 1:16, reshape(1:16, 2, 2, 4), zeros(4, 4, 0), ...
          containers.Map(), inputParser()};
end

function x = sprinkle(x)
  % Signed zeros, tiny and huge values at random places, and now and then
  % NaN or Inf, which brevak refuses where it reads them.
  if (isempty(x) || rand() < 0.6)
    return;
  end
  specials = [-0, 0, 1e300, -1e300, 2.2204e-16, 1e-300, realmax, -realmax, 4.4e-16, -1e-310];
  if (rand() < 0.25)
    specials = [NaN, Inf, -Inf];
  end
  k = 1 + floor(rand(1, ri(3)) * numel(x));
  x(k) = specials(1 + floor(rand(size(k)) * numel(specials)));
end

function x = shaped(values)
  % The same elements as a row, a column, a matrix or a 3-D array.
  n = numel(values);
  switch (ri(4))
    case 1
      x = reshape(values, 1, n);
    case 2
      x = reshape(values, n, 1);
    otherwise
      if (n > 0 && mod(n, 2) == 0)
        x = reshape(values, 2, n / 2);
      else
        x = reshape(values, n, 1);
      end
  end
end

function c = count_like(n)
  % Count n, or a value near it, in a random numeric class; one time in six
  % a value at or past the edges of what a count may be.
  if (rand() < 1 / 6)
    c = pick({-1, -0.5, NaN, Inf, -Inf, 1e10, -1e10, 2^31, 2^31 - 1, -2^31, -2^31 - 1});
  else
    c = pick({n, n, n, n + 0.5, n + 0.9, n - 0.5, 0});
  end
  switch (ri(10))
    case 1
      c = single(c);
    case 2
      c = int32(c);
    case 3
      c = uint8(c);
    case 4
      c = int64(c);
    case 5
      c = [c, 7, 8];  % only the first element counts
  end
end

function [args, nout] = make_call(name, pool)
  if (strcmp(name, 'brevak'))
    args = brevak_args();
  else
    args = selector_args();
  end
  % Any argument may be replaced by a bad value.
  for k = 1:numel(args)
    if (rand() < 0.08)
      args{k} = pick(pool);
    end
  end
  % Wrong numbers of inputs: fewer, or extra ones(which are ignored).
  r = rand();
  if (r < 0.05)
    args = args(1:ri(numel(args)) - 1);
  elseif (r < 0.08)
    args{end+1} = pick(pool);
  end
  if (~ strcmp(name, 'brevak'))
    args = bounded_work(args);
  end
  % Wrong numbers of outputs.
  r = rand();
  nout = 1;
  if (r < 0.05)
    nout = 0;
  elseif (r < 0.08)
    nout = 2 + ri(2) - 1;  % brevak takes two, three is too many
  end
end

function args = brevak_args()
  switch (ri(6))
    case 1
      Q = randn(4);
    case 2
      Q = randn(5);  % more elements than read
    case 3
      Q = randn(1, 15);  % one too few
    otherwise
      Q = shaped(randn(1, 16));
  end
  G = shaped(randn(1, pick({4, 4, 4, 3, 6})));
  lambda = pick({0, 0.1, 1, -1, NaN, Inf, -Inf, 1e300, [0.5 2], single(0.5), int8(2), true});
  n = ri(0, 12);
  z1 = shaped(sprinkle(randn(1, n)));
  z2 = shaped(sprinkle(randn(1, n + pick({0, 0, 0, -1, 2}) * (n > 0))));
  if (rand() < 0.2)
    z1 = shaped(sprinkle(round(z1 * 2) / 2));  % repeated breakpoints, ties
  end
  n_arg = count_like(n);
  if (rand() < 0.05)
    n_arg = pick({2^29 - 1, 2^29, 2^30, 536870911.5});
  end
  args = {sprinkle(Q), sprinkle(G), lambda, z1, z2, n_arg};
end

function args = selector_args()
  n_rows = ri(0, 6);
  n_cols = ri(0, 8);
  A = sprinkle(randn(n_rows, n_cols));
  B = sprinkle(randn(n_rows, n_cols));
  switch (ri(8))
    case 1
      A = A(1:end-1);  % one element short
    case 2
      B = [B(:); 1];  % one element more
    case 3
      A = NaN(size(A));
    case 4
      B = A;
  end
  if (rand() < 0.05)
    % Many columns without elements: nothing is read.
    args = {zeros(0, 1), [], pick({2^31 - 1, 1e9, 32769}), pick({0, -1, NaN}), ...
            count_like(ri(50))};
    return;
  end
  args = {shaped(A), shaped(B), count_like(n_cols), count_like(n_rows), count_like(ri(0, 20))};
end

% Keeps a selector call within a few thousand scored pairs, so that the
% whole run stays short: a valid call scores min(n_trials, n_cols) pairs.
function args = bounded_work(args)
  if (numel(args) >= 5 && is_count(args{3}) && is_count(args{5}))
    if (min(double(args{3}(1)), double(args{5}(1))) > 5000)
      args{5} = 5000;
    end
  end
end

% ---------------------------------------------------------------------------
% Descriptions for the failure report.

function s = describe(x)
  flags = '';
  if (issparse(x))
    flags = [flags 'sparse '];
  end
  if ((isnumeric(x) || islogical(x)) && ~ isreal(x))
    flags = [flags 'complex '];
  end
  s = sprintf('%s%s %s', flags, class(x), mat2str(size(x)));
  if ((isnumeric(x) || islogical(x)) && numel(x) <= 4 && ~ issparse(x))
    s = [s ' ' mat2str(double(x), 17)];
  end
end

function s = describe_args(args)
  parts = cellfun(@describe, args, 'UniformOutput', false);
  s = strjoin(parts, ', ');
end
