function test_bitwise(reference_file)
%TEST_BITWISE  The MEX-files give the C++ kernels' outputs bit for bit.
%   Every case of REFERENCE_FILE (written by host_reference_data) is fed to
%   the MEX-file of its function. brevak must give V and its objective value
%   f bit for bit, or, when a value it reads is NaN or infinite, refuse the
%   call with brevak:notFinite. For the selectors the process's rand()
%   generator is seeded as the C++ program seeded it, the calls are repeated
%   without reseeding, and the generator must stand where it stood there.
cases = read_reference(reference_file);
counts = struct('brevak', 0, 'tolmiv', 0, 'zandrel', 0, 'refused', 0);
for k = 1:numel(cases)
    c = cases{k};
    what = sprintf('%s case %s', c.kind, c.label);
    switch c.kind
        case 'brevak'
            args = {reshape(c.Q, 4, 4), reshape(c.G, 2, 2), c.lambda, c.z1, c.z2, c.n};
            if reads_non_finite(c)
                expect_error('brevak:notFinite', @() brevak(args{:}));
                counts.refused = counts.refused + 1;
            else
                [V, f] = brevak(args{:});
                expect_bits(V, reshape(c.V, 2, 2), what);
                expect_bits(f, c.f, [what ', objective']);
                expect_bits(brevak(args{:}), V, [what ', one output']);
            end
        case {'tolmiv', 'zandrel'}
            select = str2func(c.kind);
            A = as_matrix(c.A, c.n_rows);
            B = as_matrix(c.B, c.n_rows);
            srand_seed(c.seed);
            for call = 1:c.calls
                p = select(A, B, c.n_cols, c.n_rows, c.n_trials);
                expect_bits(p, c.out(2 * call - 1:2 * call).', sprintf('%s, call %d', what, call));
            end
            next = srand_seed([], 1);
            if next ~= c.next
                error('test:generator', '%s: rand() continues with %d, expected %d', what, ...
                      next, c.next);
            end
        otherwise
            error('test:reference', 'unknown function %s', c.kind);
    end
    counts.(c.kind) = counts.(c.kind) + 1;
end
if counts.brevak == counts.refused || counts.refused == 0 || counts.tolmiv == 0 || counts.zandrel == 0
    error('test:reference', 'the reference file lacks cases of some kind');
end
fprintf('test_bitwise: %d brevak (%d refused), %d tolmiv, %d zandrel cases\n', counts.brevak, ...
        counts.refused, counts.tolmiv, counts.zandrel);
end

function yes = reads_non_finite(c)
% Whether brevak reads a NaN or infinity: Q on and above its diagonal, G,
% lambda, and the first n pairs.
upper = triu(true(4));
n = max(fix(c.n), 0);
yes = ~all(isfinite(c.Q(upper(:)))) || ~all(isfinite(c.G)) || ~isfinite(c.lambda) || ...
      ~all(isfinite(c.z1(1:n))) || ~all(isfinite(c.z2(1:n)));
end

function M = as_matrix(values, n_rows)
% The columns of n_rows elements, when the values split into them.
M = values;
if n_rows > 0 && mod(numel(values), n_rows) == 0
    M = reshape(values, n_rows, []);
end
end
