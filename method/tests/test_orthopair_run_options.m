function test_orthopair_run_options()
% TEST_ORTHOPAIR_RUN_OPTIONS  Every option of the table orthopair_run()
% returns, through the MEX-file: a value inside its range is taken, values
% outside it or of the wrong type are refused by name, those with a visible
% effect have it, and the list of known names is the table's.

A = [2 1 0 0; 1 3 1 0; 0 1 4 1; 0 0 1 5];
X0 = eye(4, 2);
lambda = 0.1;
table = orthopair_run();
names = {table.name};
assert(numel(unique(names)) == numel(names), 'the table repeats a name');

% The message of an unknown option lists exactly the table's names.
try
    orthopair_run(A, [], lambda, X0, struct('nope', 1));
    error('test:noError', 'an unknown option was taken');
catch err
    assert(strcmp(err.identifier, 'orthopair_run:badOption'), err.identifier);
    known = regexp(err.message, 'known: (.*)\.$', 'tokens', 'once');
    assert(~isempty(known), err.message);
    assert(isequal(strsplit(known{1}, ', '), names), 'known list: %s', known{1});
end

for k = 1:numel(table)
    row = table(k);
    [good, bad] = sample_values(row);
    for g = 1:numel(good)
        opts = struct(row.name, good(g));
        evalc('orthopair_run(A, [], lambda, X0, opts);');   % verbose runs print
    end
    % [] is the default and always taken.
    orthopair_run(A, [], lambda, X0, struct(row.name, []));
    for b = 1:numel(bad)
        expect_error('orthopair_run:badOption', ...
            @() orthopair_run(A, [], lambda, X0, struct(row.name, bad(b))), ['option ' row.name]);
    end
end

% The options whose effect shows in the result or the output.
[~, info] = orthopair_run(A, [], lambda, X0, struct('max_iter', 0));
assert(strcmp(info.stop, 'max_iter') && info.iterations == 0, info.stop);
[~, info] = orthopair_run(A, [], lambda, X0, struct('target_f', Inf));
assert(strcmp(info.stop, 'target'), info.stop);
[~, info] = orthopair_run(A, [], lambda, X0, struct('time_limit', 0));
assert(strcmp(info.stop, 'time_limit'), info.stop);
[~, info] = orthopair_run(A, [], lambda, X0, struct('certify', false));
assert(strcmp(info.stop, 'not_certified'), info.stop);
[~, info] = orthopair_run(A, [], lambda, X0);
assert(info.prox_steps > 0, 'the default rule made no prox steps');
[~, info] = orthopair_run(A, [], lambda, X0, struct('rule', 'sweep'));
assert(info.prox_steps == 0 && info.sweeps > 1, 'rule sweep made prox steps');
[~, info] = orthopair_run(A, [], lambda, X0, struct('prox', false));
assert(info.prox_steps == 0 && info.pair_steps > 0, 'prox false made prox steps');
[~, info] = orthopair_run(A, [], lambda, X0, struct('callback', @(info) true));
assert(strcmp(info.stop, 'callback'), info.stop);
quiet = evalc('orthopair_run(A, [], lambda, X0);');
loud = evalc('orthopair_run(A, [], lambda, X0, struct(''verbose'', true));');
assert(isempty(quiet) && ~isempty(strfind(loud, 'stopped:')), 'verbose printed nothing');
every = evalc('orthopair_run(A, [], lambda, X0, struct(''print_every'', 1));');
assert(numel(strfind(every, sprintf('\n'))) > numel(strfind(loud, sprintf('\n'))), ...
    'print_every 1 printed no more lines than the default');
end

function [good, bad] = sample_values(row)
% Values inside the row's range and values outside it or
% of another type, each in a cell.
lo = row.range(1);
hi = row.range(2);
switch row.type
    case {'number', 'whole number'}
        % Not the range's ends: tol = 0 asks for a certificate that may
        % never come, n_trials = 2^31 - 1 for that many draws a step.
        if isfinite(lo), good = {lo + 1}; else, good = {-1}; end
        if strcmp(row.type, 'whole number'), good{end + 1} = lo; end
        bad = {NaN, 'x', [1 2], 1i};
        if isfinite(lo), bad{end + 1} = lo - 1; end
        if isfinite(hi), bad{end + 1} = hi + 1e6; end
        if strcmp(row.type, 'whole number'), bad{end + 1} = max(lo, 0) + 0.5; end
    case 'logical'
        good = {true, false, 0, 1};
        bad = {2, 0.5, 'yes', [true false]};
    case 'function handle'
        good = {@(info) false};
        bad = {3, 'disp'};
    otherwise                                % the rule: the names its type lists
        good = regexp(row.type, '''(\w+)''', 'tokens');
        good = cellfun(@(c) c{1}, good, 'UniformOutput', false);
        assert(numel(good) >= 2, 'the rule lists no names: %s', row.type);
        bad = {'best', 'Mixed', 3, ''''};
end
end
