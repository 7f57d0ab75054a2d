function Y = apply_rows(X, P, V)
% APPLY_ROWS  X with the rows P replaced by V * X(P, :) (test helper).
Y = X;
Y(P, :) = V * X(P, :);
end
