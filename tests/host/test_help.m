% help prints each function's help text, while the MEX-file is what runs.
names = {'brevak', 'tolmiv', 'zandrel'};
calls = {'[V, F] = BREVAK(Q, G, LAMBDA, Z1, Z2, N)', ...
         'P = TOLMIV(A, B, N_COLS, N_ROWS, N_TRIALS)', ...
         'P = ZANDREL(A, B, N_COLS, N_ROWS, N_TRIALS)'};
for k = 1:numel(names)
    name = names{k};
    text = evalc(['help ' name]);
    expected = {[upper(name) '  '], calls{k}, 'Arguments:', 'Result:', 'Errors:', ...
                [name ':badCount'], 'Example:', 'See also'};
    if strcmp(name, 'brevak')
        expected{end + 1} = 'brevak:notFinite'; %#ok<AGROW>
        expected{end + 1} = '2.2204e-16'; %#ok<AGROW>
    else
        expected{end + 1} = 'N_ROWS-by-N_COLS'; %#ok<AGROW>
        expected{end + 1} = '[1; 2]'; %#ok<AGROW>
    end
    for e = 1:numel(expected)
        if isempty(strfind(text, expected{e}))
            error('test:help', 'help %s lacks "%s"; it printed:\n%s', name, expected{e}, text);
        end
    end
    [~, ~, ext] = fileparts(which(name));
    if ~strcmp(ext, ['.' mexext])
        error('test:help', '%s runs from %s, not from its MEX-file', name, which(name));
    end
end
