function run_tests(tests)
%RUN_TESTS  Run host tests one after another and report how many passed.
%   RUN_TESTS(TESTS) evaluates each entry of the cell array of strings TESTS,
%   the name of a test script or function or an expression that calls one
%   (e.g. 'test_bitwise(''reference.txt'')'), each in a workspace of its own.
%   A test passes when it returns without raising an error; a failed test is
%   reported with its error and the next one runs all the same. The last
%   line printed is always
%
%       N passed, M failed
%
%   and when M > 0, RUN_TESTS then raises an error, so that a host started
%   with -batch (MATLAB) or --eval (Octave) exits with a non-zero status.
%
%   It runs in MATLAB and in GNU Octave alike.
if ischar(tests)
    tests = {tests};
end
passed = 0;
failed = 0;
for k = 1:numel(tests)
    fprintf('--- %s\n', tests{k});
    started = tic;
    try
        run_one(tests{k});
        passed = passed + 1;
        fprintf('--- passed: %s (%.1f s)\n', tests{k}, toc(started));
    catch err
        failed = failed + 1;
        fprintf('--- FAILED: %s\n', tests{k});
        fprintf('%s\n', describe_error(err));
    end
end
fprintf('%d passed, %d failed\n', passed, failed);
if failed > 0
    error('run_tests:failed', '%d of %d tests failed', failed, numel(tests));
end
end

function run_one(run_tests_expression)
% A workspace with nothing in it but the expression, for scripts to run in.
eval([run_tests_expression ';']);
end

function text = describe_error(err)
text = sprintf('    %s: %s', err.identifier, err.message);
for k = 1:numel(err.stack)
    text = sprintf('%s\n      at %s line %d', text, err.stack(k).name, err.stack(k).line);
end
end
