% TEST_ARGUMENTS  Bad input is refused with a clear error identifier, the
% portable generator is the minimal standard one, and the seeded start is
% reproducible and orthonormal.

C = [2 1 0; 1 2 1; 0 1 2];
good = struct('max_iter', 0);
cases = {
    'sparse_pca_two_index:badC',          {ones(3, 4), 1}
    'sparse_pca_two_index:badC',          {[1 2; 3 4], 1}
    'sparse_pca_two_index:badC',          {[1 NaN; NaN 1], 1}
    'sparse_pca_two_index:badC',          {[1 1i; -1i 1], 1}
    'sparse_pca_two_index:badC',          {5, 1}
    'sparse_pca_two_index:badC',          {'abc', 1}
    'sparse_pca_two_index:badRank',       {C, 0}
    'sparse_pca_two_index:badRank',       {C, 1.5}
    'sparse_pca_two_index:badRank',       {C, 4}
    'sparse_pca_two_index:badOpts',       {C, 1, 7}
    'sparse_pca_two_index:unknownOption', {C, 1, struct('lamda', 1)}
    'sparse_pca_two_index:badLambda',     {C, 1, struct('lambda', -1)}
    'sparse_pca_two_index:badLambda',     {C, 1, struct('lambda', NaN)}
    'sparse_pca_two_index:badRule',       {C, 1, struct('rule', 'greedy')}
    'sparse_pca_two_index:badTrials',     {C, 1, struct('n_trials', 0)}
    'sparse_pca_two_index:badMaxIter',    {C, 1, struct('max_iter', 2.5)}
    'sparse_pca_two_index:badTol',        {C, 1, struct('tol', -1)}
    'sparse_pca_two_index:badCheckEvery', {C, 1, struct('check_every', 0)}
    'sparse_pca_two_index:badX0',         {C, 2, struct('X0', ones(3, 1))}
    'sparse_pca_two_index:badX0',         {C, 2, struct('X0', [1 0; 0 1; 0 1])}
    'sparse_pca_two_index:nargin',        {C}
    };
for k = 1:size(cases, 1)
    id = cases{k, 1};
    args = cases{k, 2};
    caught = '';
    try
        sparse_pca_two_index(args{:});
    catch err
        caught = err.identifier;
    end
    assert(strcmp(caught, id), sprintf('case %d: expected error %s, got ''%s''', k, id, caught));
end

% An asymmetry at rounding level is accepted (and symmetrised).
Cr = C;
Cr(1, 2) = Cr(1, 2) * (1 + 4 * eps);
sparse_pca_two_index(Cr, 1, good);

% Minimal standard generator: from seed 1 the 10000th state is 1043618065.
[U, state] = seeded_uniform(1, 10000, 1);
assert(state == 1043618065, 'seeded_uniform is not the minimal standard generator');
assert(U(1) == 16807 / 2147483647 && all(U > 0 & U < 1), 'seeded_uniform values out of range');
[U2, state2] = seeded_uniform(100, 100, state);
assert(isequal(seeded_uniform(1, 20000, 1), [U, U2(:)']), 'seeded_uniform cannot be continued from its state');

% Seeded start: orthonormal, reproducible, different for another seed.
M = seeded_uniform(30, 30, 4) - 0.5;
C = M * M';
[X1, h1] = sparse_pca_two_index(C, 4, struct('max_iter', 0, 'seed', 5));
X2 = sparse_pca_two_index(C, 4, struct('max_iter', 0, 'seed', 5));
X3 = sparse_pca_two_index(C, 4, struct('max_iter', 0, 'seed', 6));
assert(isequal(X1, X2), 'the same seed must give the same start');
assert(~isequal(X1, X3), 'another seed must give another start');
assert(norm(X1' * X1 - eye(4)) <= 1e-14, 'the start must be orthonormal');
assert(h1.iterations == 0 && numel(h1.objective) == 1 && isempty(h1.pairs), 'max_iter = 0 must not step');
assert(abs(h1.objective - (-0.5 * trace(X1' * C * X1))) <= 1e-13 * norm(C, 1), 'wrong objective at the start');

% X0 is taken as given.
[X4, h4] = sparse_pca_two_index(C, 4, struct('max_iter', 0, 'X0', X3));
assert(isequal(X4, X3), 'X0 must be the start');
fprintf('test_arguments: passed\n');
