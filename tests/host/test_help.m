% help prints each function's help text, while the MEX-file is what runs.
names = {'brevak', 'tolmiv', 'zandrel'};
calls = {'V = BREVAK(Q, G, LAMBDA, Z1, Z2, N)', ...
         'P = TOLMIV(A, B, N_COLS, N_ROWS, N_TRIALS)', ...
         'P = ZANDREL(A, B, N_COLS, N_ROWS, N_TRIALS)'};
for k = 1:numel(names)
    name = names{k};
    text = evalc(['help ' name]);
    expected = {[upper(name) '  '], calls{k}, 'Arguments:', 'Result:', 'Example:', 'See also'};
    for e = 1:numel(expected)
        if isempty(strfind(text, expected{e}))
            error('test:help', 'help %s lacks "%s"; it printed:\n%s', name, expected{e}, text);
        end
    end
    [~, ~, ext] = fileparts(which(name));
    if ~strcmp(ext, '.mex')
        error('test:help', '%s runs from %s, not from its MEX-file', name, which(name));
    end
end
printf('PASSED test_help\n');
