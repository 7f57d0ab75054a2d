function [result, after] = run_seeded(seed, f, next_draws)
%RUN_SEEDED  Seed the process's rand() generator, call F, then read it on.
%   RESULT is F's result and AFTER the values NEXT_DRAWS() reads from the
%   generator right after the call.
srand_seed(seed);
result = f();
after = next_draws();
end
