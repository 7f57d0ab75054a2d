function [X, info] = l1_procrustes(M, Y, lambda, opts)
% L1_PROCRUSTES  Orthogonal Procrustes problem with an L1 penalty.
%
%   [X, INFO] = L1_PROCRUSTES(M, Y, LAMBDA) solves
%
%       minimise   1/2*norm(M*X - Y, 'fro')^2 + LAMBDA*sum(abs(X(:)))
%       subject to X'*X = I,        X is n-by-r,
%
%   for M (m-by-n) and Y (m-by-r). With LAMBDA = 0 and M'*M a multiple of the
%   identity the answer is the orthogonal polar factor of M'*Y; the L1 term
%   asks for an orthonormal X with many exact zeros. This is ORTHOPAIR_SOLVE
%   with A = M'*M and E = -M'*Y; INFO.f is the objective above (with the
%   constant 1/2*norm(Y, 'fro')^2 added back).
%
%   OPTS are those of ORTHOPAIR_SOLVE plus X0, the start (default: the
%   orthogonal polar factor of M'*Y).
%
%   Example:
%       Q = orth(randn(30, 4));  Y = Q + 0.01*randn(30, 4);
%       X = l1_procrustes(eye(30), Y, 0.05);
%
%   See also ORTHOPAIR_SOLVE, SPARSE_PCA.

if nargin < 3
    error('l1_procrustes:nargin', 'Call as l1_procrustes(M, Y, lambda) or with opts.');
end
if nargin < 4 || isempty(opts)
    opts = struct();
end
if ~isnumeric(M) || ~isnumeric(Y) || ~ismatrix(M) || ~ismatrix(Y) || size(M, 1) ~= size(Y, 1)
    error('l1_procrustes:badSize', 'M and Y must be matrices with the same number of rows.');
end
M = full(double(M));
Y = full(double(Y));
A = M' * M;
A = 0.5 * (A + A');
E = -(M' * Y);
if isfield(opts, 'X0') && ~isempty(opts.X0)
    start = opts.X0;
else
    start = polar_factor(-E);
end
if isfield(opts, 'X0')
    opts = rmfield(opts, 'X0');
end
[X, info] = orthopair_solve(A, E, lambda, start, opts);
shift = 0.5 * sum(Y(:) .^ 2);
info.f = info.f + shift;
info.f0 = info.f0 + shift;
end

function U = polar_factor(B)
% The orthonormal matrix nearest to B: U*V' from the thin SVD.
[U, ~, V] = svd(B, 0);
U = U * V';
end
