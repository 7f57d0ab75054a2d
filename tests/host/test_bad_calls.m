% Every bad call raises a host error with the function's identifier, and
% Octave goes on running: each check below runs after the ones before it.

Q = magic(4) + magic(4)';
G = [1 2; 3 4];
z = [1 -2 3];
ok = {Q, G, 0.5, z, z, 3};
% with(k, x): the good brevak arguments with the k-th replaced by x.
with = @(k, x) [ok(1:k - 1), {x}, ok(k + 1:end)];
bad_arrays = {single(Q), int32(Q), Q + 1i, sparse(Q), Q > 0, repmat('a', 4, 4), num2cell(Q), ...
              struct('Q', Q)};
bad_scalars = {[], zeros(0, 3), 1 + 2i, complex(3, 0), sparse(3), 'x', {3}, struct('n', 3), ...
               @sin};

% Too few inputs, too many outputs.
expect_error('brevak:nargin', @() brevak());
expect_error('brevak:nargin', @() brevak(Q));
expect_error('brevak:nargin', @() brevak(Q, G, 0.5, z, z));
expect_error('brevak:nargout', @() call_with_outputs(@brevak, ok, 3));
call_with_outputs(@brevak, ok, 2);

% Q, G, z1, z2: real full double arrays, whatever n is.
for k = [1 2 4 5]
    for b = 1:numel(bad_arrays)
        args = with(k, bad_arrays{b});
        expect_error('brevak:notRealDouble', @() brevak(args{:}));
    end
end
args = with(4, single(z));
args{6} = 0;
expect_error('brevak:notRealDouble', @() brevak(args{:}));

% Q needs 16 elements, G 4, z1 and z2 n each when n is positive.
expect_error('brevak:tooShort', @() brevak(Q(1:15), G, 0.5, z, z, 3));
expect_error('brevak:tooShort', @() brevak([], G, 0.5, z, z, 3));
expect_error('brevak:tooShort', @() brevak(Q, G(1:3), 0.5, z, z, 3));
expect_error('brevak:tooShort', @() brevak(Q, [], 0.5, z, z, 0));
expect_error('brevak:tooShort', @() brevak(Q, G, 0.5, z(1:2), z, 3));
expect_error('brevak:tooShort', @() brevak(Q, G, 0.5, z, z(1:2), 3));
expect_error('brevak:tooShort', @() brevak(Q, G, 0.5, z, z, 3.5 + 1));
expect_error('brevak:tooShort', @() brevak(Q, G, 0.5, [], [], 1));
expect_error('brevak:tooShort', @() brevak(Q, G, 0.5, z, z, 536870911));

% lambda and n: real, non-empty, numeric or logical.
for k = [3 6]
    for b = 1:numel(bad_scalars)
        args = with(k, bad_scalars{b});
        expect_error('brevak:notRealScalar', @() brevak(args{:}));
    end
end

% n: NaN, infinite or out of the 32-bit range.
for n = {NaN, Inf, -Inf, 2^31, -2^31 - 1, 1e300, int64(2^40), single(Inf)}
    expect_error('brevak:badCount', @() brevak(Q, G, 0.5, z, z, n{1}));
end

% A NaN or infinity among the values read.
expect_error('brevak:notFinite', @() brevak(Q + NaN, G, 0.5, z, z, 3));
expect_error('brevak:notFinite', @() brevak(Q, [G(1:3) Inf], 0.5, z, z, 3));
expect_error('brevak:notFinite', @() brevak(Q, G, -Inf, z, z, 3));
expect_error('brevak:notFinite', @() brevak(Q, G, single(NaN), z, z, 3));
expect_error('brevak:notFinite', @() brevak(Q, G, 0.5, [z NaN], [z 1], 4.5));
expect_error('brevak:notFinite', @() brevak(Q, G, 0.5, z, [1 Inf], 2));

% More pairs than the solver can hold.
expect_error('brevak:tooManyPairs', @() brevak(Q, G, 0.5, z, z, 536870912));
expect_error('brevak:tooManyPairs', @() brevak(Q, G, 0.5, z, z, 2147483647));
expect_error('brevak:tooManyPairs', @() brevak(Q, G, 0.5, z, z, int32(2147483647)));

% The same for the selectors, whose gateways share one source.
A = reshape(1:12, 3, 4);
B = reshape(12:-1:1, 3, 4);
good = {A, B, 4, 3, 5};
for name = {'tolmiv', 'zandrel'}
    name = name{1};
    select = str2func(name);
    id = @(reason) [name ':' reason];
    with = @(k, x) [good(1:k - 1), {x}, good(k + 1:end)];

    expect_error(id('nargin'), @() select());
    expect_error(id('nargin'), @() select(A, B, 4, 3));
    expect_error(id('nargout'), @() call_with_outputs(select, good, 2));

    for k = 1:2
        for b = 1:numel(bad_arrays)
            args = with(k, bad_arrays{b});
            expect_error(id('notRealDouble'), @() select(args{:}));
        end
    end
    % whatever the counts are
    expect_error(id('notRealDouble'), @() select(int8(A), B, 0, 0, 0));

    % A and B need n_rows*n_cols elements when both counts are positive,
    % computed without overflow.
    expect_error(id('tooShort'), @() select(A(1:11), B, 4, 3, 5));
    expect_error(id('tooShort'), @() select(A, B(1:11), 4, 3, 5));
    expect_error(id('tooShort'), @() select(A, B, 4.9, 4.9, 0));
    expect_error(id('tooShort'), @() select([], [], 1, 1, 1));
    expect_error(id('tooShort'), @() select(A, B, 2147483647, 2147483647, 5));
    expect_error(id('tooShort'), @() select(A, B, 65536, 65536, 5));

    % Counts: NaN, infinite, out of the 32-bit range; n_cols and n_rows
    % negative.
    for k = 3:5
        for n = {NaN, Inf, -Inf, 2^31, -2^31 - 1, 1e300, int64(2^40)}
            args = with(k, n{1});
            expect_error(id('badCount'), @() select(args{:}));
        end
    end
    expect_error(id('badCount'), @() select(A, B, -1, 3, 5));
    expect_error(id('badCount'), @() select(A, B, 4, -1, 5));
    expect_error(id('badCount'), @() select([], [], -1, -1, 5));

    for k = 3:5
        for b = 1:numel(bad_scalars)
            args = with(k, bad_scalars{b});
            expect_error(id('notRealScalar'), @() select(args{:}));
        end
    end
end

% The host is still in working order.
V = brevak(ok{:});
p = tolmiv(good{:});
r = zandrel(good{:});
if ~isequal(size(V), [2 2]) || ~isequal(size(p), [2 1]) || ~isequal(size(r), [2 1])
    error('test:after', 'calls after the bad ones gave wrong results');
end

