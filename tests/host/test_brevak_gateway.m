% brevak's gateway through the host: conversion of the count, what is read of
% each input, and what the call leaves behind.

Q = [4 1 0.5 -1; 1 3 0.2 0.4; 0.5 0.2 5 -0.3; -1 0.4 -0.3 2];
G = [0.3 -1.2; 0.8 0.1];
lambda = 5;
z1 = [1.5 -0.7 2.0 -3.0 3.0];
z2 = [0.2 1.1 -0.5 2.5 0.5];
call = @(n) brevak(Q, G, lambda, z1, z2, n);

% by_count{n + 1}: the result with the first n pairs.
by_count = cell(1, 6);
for n = 0:5
    V = call(n);
    if ~isa(V, 'double') || ~isreal(V) || ~isequal(size(V), [2 2]) || norm(V' * V - eye(2)) > 1e-12
        error('test:result', 'brevak with %d pairs gave no 2-by-2 orthogonal double matrix', n);
    end
    by_count{n + 1} = V;
end
% The data must tell the counts apart, or the checks below prove nothing.
for n = 1:5
    if isequal(by_count{n}, by_count{n + 1})
        error('test:data', 'the test data give the same V for %d and %d pairs', n - 1, n);
    end
end
none = by_count{1};
three = by_count{4};

% Counts are truncated toward zero.
expect_bits(call(3.9), three, 'n = 3.9');
expect_bits(call(3.0000001), three, 'n = 3.0000001');
expect_bits(call(4.999), by_count{5}, 'n = 4.999');
% Zero or less means no pairs.
for n = [0, -0, -0.5, -0.999, -1, -3.7, -2147483648, -2147483648.5]
    expect_bits(call(n), none, sprintf('n = %.17g', n));
end
% A count that is NaN, infinite or outside the 32-bit range once truncated is
% refused: it used to count silently as "no pairs".
for n = [NaN, Inf, -Inf, 3e9, -3e9, 2^31, 2^31 + 0.5, -2^31 - 1, 1e300, -realmax]
    expect_error('brevak:badCount', @() call(n));
end
expect_error('brevak:badCount', @() brevak(Q, G, lambda, [], [], NaN));
% No pairs: the pair arrays need no elements at all.
expect_bits(brevak(Q, G, lambda, [], zeros(0, 3), -1), none, 'negative n, empty z');
expect_bits(brevak(Q, G, lambda, [], [], 0), none, 'no pairs, empty z');

% Integer and logical counts and weights: the first element as a double.
expect_bits(call(int32(3)), three, 'int32 n');
expect_bits(call(uint8(3)), three, 'uint8 n');
expect_bits(call(single(3.9)), three, 'single n');
expect_error('brevak:badCount', @() call(int64(-3000000000)));
expect_bits(call(int64(-2147483648)), none, 'int64 n at the bottom of the 32-bit range');
expect_bits(call(true), by_count{2}, 'logical n');
expect_bits(brevak(Q, G, single(lambda), z1, z2, 3), brevak(Q, G, double(single(lambda)), z1, z2, 3), ...
            'single lambda');
expect_bits(brevak(Q, G, int8(2), z1, z2, 3), brevak(Q, G, 2, z1, z2, 3), 'int8 lambda');

% Longer arrays as scalars: only the first element counts.
expect_bits(call([3 5 NaN]), three, 'n as a row');
expect_bits(call([3; 1e10]), three, 'n as a column');
expect_bits(call([3.9 0; 1 1]), three, 'n as a matrix');
expect_bits(brevak(Q, G, [lambda, 100, NaN], z1, z2, 3), three, 'lambda as a row');

% Inputs past the sixth are ignored.
expect_bits(brevak(Q, G, lambda, z1, z2, 3, 'extra'), three, 'a seventh input');
expect_bits(brevak(Q, G, lambda, z1, z2, 3, {1}, struct(), [], 1 + 2i), three, 'four more inputs');

% With no output requested the result still fills the first output slot.
clear ans;
brevak(Q, G, lambda, z1, z2, 3);
expect_bits(ans, three, 'ans after a call as a statement');

% Only Q's diagonal and upper triangle are read.
lower = tril(true(4), -1);
Qn = Q;
Qn(lower) = NaN;
expect_bits(brevak(Qn, G, lambda, z1, z2, 3), three, 'NaN below the diagonal of Q');
Qr = Q;
Qr(lower) = [7 -8 1e300 -Inf 0.25 42];
expect_bits(brevak(Qr, G, lambda, z1, z2, 3), three, 'other values below the diagonal of Q');
% ... but the upper triangle is.
Qu = Q;
Qu(1, 4) = Qu(1, 4) + 5;
if isequal(brevak(Qu, G, lambda, z1, z2, 3), three)
    error('test:upper', 'a change in the upper triangle of Q left V unchanged');
end

% A NaN or infinity among the values the solver reads is refused, naming the
% argument and the first offending element; it used to give an axis point
% as if it were the answer. Every read position of every argument in turn.
upper = find(triu(true(4)))';
for bad = [NaN, Inf, -Inf]
    for k = upper
        Qb = Q;
        Qb(k) = bad;
        Qb(16) = NaN;  % a later offender: the first one is named
        if k == 16
            Qb(16) = bad;
        end
        [r, c] = ind2sub([4 4], k);
        expect_error('brevak:notFinite', @() brevak(Qb, G, lambda, z1, z2, 3), ...
                     sprintf('argument 1 \\(Q\\).*element %d \\(row %d, column %d\\)', k, r, c));
    end
    for k = 1:4
        Gb = G;
        Gb(k) = bad;
        expect_error('brevak:notFinite', @() brevak(Q, Gb, lambda, z1, z2, 3), ...
                     sprintf('argument 2 \\(G\\).*element %d is', k));
    end
    expect_error('brevak:notFinite', @() brevak(Q, G, bad, z1, z2, 3), 'argument 3 \(lambda\)');
    expect_error('brevak:notFinite', @() brevak(Q, G, [bad 1], z1, z2, 0), 'argument 3');
    for k = 1:3
        zb = z1;
        zb(k) = bad;
        zb(3) = bad;
        expect_error('brevak:notFinite', @() brevak(Q, G, lambda, zb, z2, 3), ...
                     sprintf('argument 4 \\(z1\\).*first 3 elements; element %d is', k));
        expect_error('brevak:notFinite', @() brevak(Q, G, lambda, z1, zb, 3), ...
                     sprintf('argument 5 \\(z2\\).*element %d is', k));
        % Past the n pairs that are read, anything goes.
        expect_bits(brevak(Q, G, lambda, zb, z2, k - 1), by_count{k}, ...
                    sprintf('non-finite z past n = %d', k - 1));
    end
end
% The first offending argument is named; a failed call leaves no result.
ans = 'unchanged';
try
    brevak(Q, NaN(2), NaN, [NaN 1], z2, 1);
catch err
    if isempty(strfind(err.message, 'argument 2 (G)'))
        error('test:first', 'the first non-finite argument was not named: %s', err.message);
    end
end
if ~strcmp(ans, 'unchanged')
    error('test:ans', 'a refused call changed ans');
end

% Any shape with enough elements, read in column order; extra elements ignored.
expect_bits(brevak(Q(:).', G(:), lambda, z1.', z2, 3), three, 'Q as a row, G and z1 as columns');
expect_bits(brevak(reshape(Q, 2, 8), G(:).', lambda, reshape([z1 0], 2, 3), z2, 3), three, ...
            'reshaped inputs');
expect_bits(brevak([Q(:); NaN; NaN], [G(:); NaN], lambda, [z1(1:3) NaN], [z2(1:3) NaN NaN], 3), ...
            three, 'arrays longer than needed, NaN past the end');
expect_bits(brevak(cat(3, Q, Q), G, lambda, z1, z2, 3), three, 'Q as a 4x4x2 array');

% Any finite lambda is taken, and the result is still a 2-by-2 double matrix.
for l = [0, -0, -1, 1e300, -realmax, realmax]
    V = brevak(Q, G, l, z1, z2, 5);
    if ~isa(V, 'double') || ~isequal(size(V), [2 2])
        error('test:lambda', 'lambda = %g gave no 2-by-2 double matrix', l);
    end
end

% The inputs are only read.
before = {num2hex(Q(:)), num2hex(G(:)), num2hex(z1(:)), num2hex(z2(:))};
brevak(Q, G, lambda, z1, z2, 5);
after = {num2hex(Q(:)), num2hex(G(:)), num2hex(z1(:)), num2hex(z2(:))};
if ~isequal(before, after)
    error('test:inputs', 'brevak changed one of its inputs');
end

% Each call makes a new result: earlier results stay as they were.
first = call(3);
second = call(4);
expect_bits(first, three, 'an earlier result after a later call');

