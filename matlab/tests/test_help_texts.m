function test_help_texts(list_file)
% The help texts tell the truth: every "Example" block of every shipped
% M-file runs as written, and every default that the help of orthopair_run
% and orthopair_solve states is the one in the table orthopair_run()
% returns, which is where the run takes its defaults from.
if nargin < 1
    list_file = fullfile(fileparts(mfilename('fullpath')), '..', '..', 'config', 'm_files.txt');
end
names = shipped_names(list_file);
examples = 0;
for k = 1:numel(names)
    text = help_text(names{k});
    blocks = example_blocks(text);
    for b = 1:numel(blocks)
        examples = examples + 1;
        try
            run_example(blocks{b});
        catch err
            error('test:example', 'the example in the help of %s fails: %s\n%s', names{k}, ...
                err.message, blocks{b});
        end
    end
    close('all');
end
assert(examples >= 8, 'only %d examples found', examples);
fprintf('ran %d help examples of %d shipped M-files\n', examples, numel(names));

% Contents.m lists what ships, no more and no less.
listed = regexp(help_text('Contents'), '\n\s+(\w+)\s+- ', 'tokens');
listed = cellfun(@(c) c{1}, listed, 'UniformOutput', false);
assert(isempty(setdiff(listed, names)), 'Contents lists %s, which does not ship', ...
    strjoin(setdiff(listed, names), ', '));
assert(isempty(setdiff(names, listed)), 'Contents leaves out %s', strjoin(setdiff(names, listed), ', '));

% Defaults: the table, the native help ([value]) and orthopair_solve's ((value)).
table = orthopair_run();
run_help = help_text('orthopair_run');
solve_help = help_text('orthopair_solve');
for k = 1:numel(table)
    name = table(k).name;
    value = table(k).default;
    if strcmp(name, 'callback')
        assert(isempty(value), 'callback has a default');
        continue;
    end
    for h = {{run_help, '[', ']'}, {solve_help, '(', ')'}}
        [text, opening, closing] = h{1}{:};
        stated = documented_default(text, name, opening, closing);
        if strcmp(name, 'print_every') && opening == '('
            continue;                        % orthopair_solve prints only with verbose
        end
        assert(~isempty(stated), 'the help states no default for %s', name);
        assert(same_value(stated, value), 'help says %s = %s, the run uses %s', name, stated, ...
            disp_value(value));
    end
end
% Every word info.stop can take is documented where the options are.
for word = {'certified', 'not_certified', 'stalled', 'max_iter', 'time_limit', 'target', ...
        'callback', 'callback_error', 'interrupted'}
    assert(~isempty(strfind(run_help, ['''' word{1} ''''])), 'orthopair_run help lacks %s', word{1});
    assert(~isempty(strfind(solve_help, ['''' word{1} ''''])), 'orthopair_solve help lacks %s', word{1});
end
end

function names = shipped_names(list_file)
lines = strsplit(fileread(list_file), sprintf('\n'));
names = {};
for k = 1:numel(lines)
    line = strtrim(lines{k});
    if isempty(line) || line(1) == '#'
        continue;
    end
    [~, name] = fileparts(line);
    if ~strcmp(name, 'Contents')
        names{end + 1} = name; %#ok<AGROW>
    end
end
end

function text = help_text(name)
text = evalc(['help ' name]);
end

function blocks = example_blocks(text)
% The lines after a line that starts with "Example", indented deeper than
% it, up to the first blank line or a line indented no deeper.
lines = strsplit(text, sprintf('\n'));
blocks = {};
k = 1;
while k <= numel(lines)
    head = lines{k};
    at = regexp(head, '^\s*Example( \(.*\))?:\s*$', 'once');
    if isempty(at)
        k = k + 1;
        continue;
    end
    indent = numel(regexp(head, '^\s*', 'match', 'once'));
    code = {};
    k = k + 1;
    while k <= numel(lines) && ~isempty(strtrim(lines{k})) ...
            && numel(regexp(lines{k}, '^\s*', 'match', 'once')) > indent
        code{end + 1} = lines{k}; %#ok<AGROW>
        k = k + 1;
    end
    blocks{end + 1} = strjoin(code, sprintf('\n')); %#ok<AGROW>
end
end

function run_example(code__)
% A workspace of its own, output kept out of the log.
evalc(code__);
end

function stated = documented_default(text, name, open, close)
% The last bracketed value in the option's entry: the lines from the one
% that starts with the name up to the next option's line.
lines = strsplit(text, sprintf('\n'));
stated = '';
for k = 1:numel(lines)
    if isempty(regexp(lines{k}, ['^\s+' name '\s'], 'once'))
        continue;
    end
    indent = numel(regexp(lines{k}, '^\s*', 'match', 'once'));
    entry = lines{k};
    j = k + 1;
    while j <= numel(lines) && numel(regexp(lines{j}, '^\s*', 'match', 'once')) > indent ...
            && ~isempty(strtrim(lines{j}))
        entry = [entry ' ' strtrim(lines{j})]; %#ok<AGROW>
        j = j + 1;
    end
    pattern = ['\' open '([^\' open '\' close ']*)\' close];
    found = regexp(entry, pattern, 'tokens');
    for f = numel(found):-1:1
        candidate = strtrim(found{f}{1});
        if is_value(candidate)
            stated = candidate;
            return;
        end
    end
    % The rule names its default in words.
    if ~isempty(regexp(entry, '''(\w+)'' \(default\)', 'once'))
        stated = regexp(entry, '''(\w+)'' \(default\)', 'tokens', 'once');
        stated = stated{1};
        return;
    end
end
end

function ok = is_value(s)
ok = any(strcmp(s, {'true', 'false', 'n', 'Inf', '-Inf'})) || ~isnan(str2double(s)) ...
    || ~isempty(regexp(s, '^max\(', 'once'));
end

function ok = same_value(stated, value)
if ischar(value)
    ok = strcmp(stated, value);
elseif islogical(value)
    ok = strcmp(stated, mat2str(value));
else
    ok = str2double(stated) == value;
end
end

function s = disp_value(v)
if ischar(v)
    s = v;
else
    s = mat2str(v);
end
end
