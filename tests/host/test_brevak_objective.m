% [V, f] = brevak(...): f is the objective at V, so that a caller can check
% the Q and G they assembled, and no rotation or reflection scores lower.
% One output gives the same V as two.

rand('seed', 7);  %#ok<RAND> a fixed stream, so that a failure can be replayed
randn('seed', 7); %#ok<RAND>
objective = @(V, Q, G, lambda, Z) 0.5 * V(:)' * Q * V(:) + sum(sum(G .* V)) + ...
                                  lambda * sum(sum(abs(V * Z)));
% A bound on everything the objective adds up, in magnitude, at any V with
% entries of at most 1: the scale of its rounding.
magnitude = @(Q, G, lambda, Z) 0.5 * sum(abs(Q(:))) + sum(abs(G(:))) + ...
                               2 * abs(lambda) * sum(abs(Z(:)));
% The objective at many points at once, one vec(V) per column of W.
sampled = @(W, Q, G, lambda, Z) 0.5 * sum(W .* (Q * W), 1) + G(:)' * W + ...
    lambda * (sum(abs(W(1, :)' * Z(1, :) + W(3, :)' * Z(2, :)), 2)' + ...
              sum(abs(W(2, :)' * Z(1, :) + W(4, :)' * Z(2, :)), 2)');
angles = linspace(0, 2 * pi, 4001);
c = cos(angles);
s = sin(angles);
samples = [c, -c; -s, s; s, s; c, c];  % rotations, then reflections

for trial = 1:60
    n = mod(trial, 9);
    scale = 10 ^ (mod(trial, 5) - 2);
    S = randn(4) * scale;
    Q = S + S';
    G = randn(2) * scale;
    lambda = abs(randn()) * (mod(trial, 4) > 0) * scale;
    Z = randn(2, n);
    if n > 2
        Z(:, 2) = 0;  % a pair left out of the L1 term
    end
    [V, f] = brevak(Q, G, lambda, Z(1, :), Z(2, :), n);
    expect_bits(brevak(Q, G, lambda, Z(1, :), Z(2, :), n), V, 'V with one output');
    if ~isa(f, 'double') || ~isreal(f) || ~isequal(size(f), [1 1]) || ~isfinite(f)
        error('test:f', 'trial %d: f is no finite real double scalar', trial);
    end

    % f is the objective at V, up to rounding, and no sampled rotation or
    % reflection scores lower.
    tolerance = 64 * eps * magnitude(Q, G, lambda, Z);
    at_v = objective(V, Q, G, lambda, Z);
    if abs(f - at_v) > tolerance
        error('test:f', 'trial %d: f = %.17g but the objective at V is %.17g', trial, f, at_v);
    end
    lowest = min(sampled(samples, Q, G, lambda, Z));
    if lowest < f - 2 * tolerance
        error('test:minimum', 'trial %d: a sampled point scores %.17g, below f = %.17g', ...
              trial, lowest, f);
    end
end

% The lower triangle of Q is never read, so f is the objective of the
% symmetric Q that the upper triangle describes.
Q = [4 1 0.5 -1; 0 3 0.2 0.4; 0 0 5 -0.3; 0 0 0 2];
Qs = triu(Q) + triu(Q, 1)';
G = [0.3 -1.2; 0.8 0.1];
Z = [1.5 -0.7 2.0; 0.2 1.1 -0.5];
[V, f] = brevak(Q, G, 0.9, Z(1, :), Z(2, :), 3);
if abs(f - objective(V, Qs, G, 0.9, Z)) > 64 * eps * magnitude(Qs, G, 0.9, Z)
    error('test:f', 'f is not the objective of the symmetric Q read from the upper triangle');
end
[~, f_lower_nan] = brevak(triu(Q) + tril(NaN(4), -1), G, 0.9, Z(1, :), Z(2, :), 3);
expect_bits(f_lower_nan, f, 'f with NaN below the diagonal of Q');
