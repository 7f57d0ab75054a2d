% The gateways of tolmiv and zandrel through the host: conversion of the
% counts, what is read of each input, and the process's rand() generator,
% which they draw from and never seed. srand_seed (a test MEX-file) seeds
% that generator and reads its next values.

n_rows = 5;
n_cols = 8;
A = reshape(sin(1:n_rows * n_cols) .* (1:n_rows * n_cols), n_rows, n_cols);
B = reshape(cos(3 * (1:n_rows * n_cols)) + 0.1 * (1:n_rows * n_cols), n_rows, n_cols);
seed = 12345;
% The generator's next values, from wherever a call left it.
next_draws = @() srand_seed([], 6);
srand_seed(seed);
untouched = next_draws();

for name = {'tolmiv', 'zandrel'}
    name = name{1};
    select = str2func(name);
    % seeded(f): runs f right after seeding, and returns its result and the
    % generator's next values.
    seeded = @(f) run_seeded(seed, f, next_draws);

    [p, after] = seeded(@() select(A, B, n_cols, n_rows, 20));
    if ~isa(p, 'double') || ~isequal(size(p), [2 1]) || any(p ~= round(p)) || ...
            any(p < 1 | p > n_cols) || p(1) == p(2)
        error('test:result', '%s gave no pair of distinct column indices: %s', name, mat2str(p));
    end
    if isequal(after, untouched)
        error('test:generator', '%s did not draw from the process''s rand()', name);
    end
    reference = p;

    % The generator is never reseeded: successive calls go on drawing, and
    % replaying them from the same seed repeats them.
    srand_seed(seed);
    sequence = [select(A, B, n_cols, n_rows, 20), select(A, B, n_cols, n_rows, 20), ...
                select(A, B, n_cols, n_rows, 20)];
    expect_bits(sequence(:, 1), reference, [name ': first call after seeding']);
    srand_seed(seed);
    replay = [select(A, B, n_cols, n_rows, 20), select(A, B, n_cols, n_rows, 20), ...
              select(A, B, n_cols, n_rows, 20)];
    expect_bits(replay, sequence, [name ': replayed sequence']);

    % Counts are truncated toward zero: 3.9, 5.0 and 20.7 act as 3, 5 and 20.
    [p3, after3] = seeded(@() select(A, B, 3, n_rows, 20));
    [q, after_q] = seeded(@() select(A, B, 3.9, 5.0, 20.7));
    expect_bits(q, p3, [name ': counts 3.9, 5.0, 20.7']);
    expect_bits(after_q, after3, [name ': generator after counts 3.9, 5.0, 20.7']);
    if any(p3 > 3)
        error('test:count', '%s chose column %d of 3', name, max(p3));
    end
    [q, after_q] = seeded(@() select(A, B, int32(3), uint8(5), int16(20)));
    expect_bits(q, p3, [name ': integer counts']);
    expect_bits(after_q, after3, [name ': generator after integer counts']);
    [q, after_q] = seeded(@() select(A, B, n_cols, true, 20));
    [p1, after1] = seeded(@() select(A, B, n_cols, 1, 20));
    expect_bits(q, p1, [name ': logical n_rows']);
    expect_bits(after_q, after1, [name ': generator after a logical n_rows']);

    % Nothing to score: [1; 2], and the generator is not advanced.
    none = {{n_cols, n_rows, 0}, {n_cols, n_rows, -0.5}, {n_cols, n_rows, -1}, ...
            {n_cols, n_rows, -2147483648}, {0, n_rows, 20}, {-0.5, n_rows, 20}, ...
            {0.9, n_rows, 20}, {1, n_rows, 20}, {1.99, n_rows, 20}};
    for k = 1:numel(none)
        counts = none{k};
        what = sprintf('%s with n_cols = %g, n_trials = %g', name, counts{1}, counts{3});
        [q, after_q] = seeded(@() select(A, B, counts{:}));
        expect_bits(q, [1; 2], what);
        expect_bits(after_q, untouched, ['generator after ' what]);
    end
    % With one column, [1; 2] names a column that does not exist.
    [q, after_q] = seeded(@() select(A(:, 1), B(:, 1), 1, n_rows, 20));
    expect_bits(q, [1; 2], [name ' with one column']);
    expect_bits(after_q, untouched, [name ': generator after a call with one column']);

    % Counts that are NaN, infinite or out of the 32-bit range are refused in
    % every position (n_trials = Inf used to give [1; 2] at every call), and
    % so are negative n_cols and n_rows (n_rows = -1 used to ignore the data).
    % The generator is not touched.
    for bad = {NaN, Inf, -Inf, 3e9, -3e9, 2^31, -2^31 - 1, 1e300, int64(-3000000000)}
        for pos = 3:5
            args = {A, B, n_cols, n_rows, 20};
            args{pos} = bad{1};
            srand_seed(seed);
            expect_error([name ':badCount'], @() select(args{:}));
            after_q = next_draws();
            expect_bits(after_q, untouched, sprintf('%s: generator after a bad count %d', name, pos));
        end
    end
    for pos = 3:4
        for bad = [-1, -1.5, -2147483648]
            args = {A, B, n_cols, n_rows, 20};
            args{pos} = bad;
            expect_error([name ':badCount'], @() select(args{:}), 'must not be negative');
        end
    end
    expect_error([name ':badCount'], @() select(A, B, Inf, n_rows, 20), ...
                 sprintf('argument 3 \\(n_cols\\) must be a finite count; got Inf'));

    % n_rows of zero, or a fraction that truncates to it: every column
    % product is +0 and nothing is read, so A and B may be empty.
    [p0, after0] = seeded(@() select(A, B, n_cols, 0, 20));
    for n = [-0.5, 0.5, -0]
        what = sprintf('%s with n_rows = %g', name, n);
        [q, after_q] = seeded(@() select(A, B, n_cols, n, 20));
        expect_bits(q, p0, what);
        expect_bits(after_q, after0, ['generator after ' what]);
        [q, after_q] = seeded(@() select([], zeros(0, 3), n_cols, n, 20));
        expect_bits(q, p0, [what ', empty A and B']);
        expect_bits(after_q, after0, ['generator after ' what ', empty A and B']);
    end

    % Longer arrays as counts: only the first element counts.
    expect_bits(seeded(@() select(A, B, [n_cols 2], [n_rows; 100], [20 0; 0 0])), reference, ...
                [name ': counts as longer arrays']);
    % Inputs past the fifth are ignored.
    expect_bits(seeded(@() select(A, B, n_cols, n_rows, 20, 'extra', {}, 1 + 2i)), reference, ...
                [name ': extra inputs']);
    % Any shape with enough elements, read in column order; more is ignored.
    expect_bits(seeded(@() select(A(:), B(:).', n_cols, n_rows, 20)), reference, ...
                [name ': A and B as vectors']);
    expect_bits(seeded(@() select([A(:); NaN(7, 1)], reshape(B, 10, 4), n_cols, n_rows, 20)), ...
                reference, [name ': longer and reshaped arrays']);

    % With no output requested the result still fills the first output slot.
    clear ans;
    srand_seed(seed);
    select(A, B, n_cols, n_rows, 20);
    expect_bits(ans, reference, [name ': ans after a call as a statement']);

    % The inputs are only read.
    before = {num2hex(A(:)), num2hex(B(:))};
    select(A, B, n_cols, n_rows, 20);
    if ~isequal(before, {num2hex(A(:)), num2hex(B(:))})
        error('test:inputs', '%s changed one of its inputs', name);
    end
end

% The two rules differ. With columns A0 = [1 0], A1 = [0 1], A2 = [1 1] and
% B0 = [1 2], B1 = [3 4], B2 = [0 1], the pairs {0, 1} and {0, 2} rank the
% other way round under the two rules, so when two pairs are scored, some
% seeds must make the two functions choose differently.
A = [1 0 1; 0 1 1];
B = [1 3 0; 2 4 1];
differ = false;
for s = 1:50
    srand_seed(s);
    v = tolmiv(A, B, 3, 2, 2);
    srand_seed(s);
    r = zandrel(A, B, 3, 2, 2);
    differ = differ || ~isequal(v, r);
end
if ~differ
    error('test:rules', 'tolmiv and zandrel chose the same pairs for 50 seeds');
end

