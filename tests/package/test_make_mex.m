function test_make_mex(root, scratch)
%TEST_MAKE_MEX  make_mex as a user meets it, on a copy of the source tree.
%   Copies what make_mex reads from ROOT into SCRATCH/'source tree' and
%   builds into SCRATCH/'out dir', both paths with a space. Checks: the
%   M-file of a missing MEX-file raises <name>:notBuilt; make_mex(OUTDIR)
%   builds every listed MEX-file and copies every listed M-file there, so
%   that help works; CXXFLAGS is left as it was (unset stays unset); a
%   rebuild in the running session replaces loaded MEX-files without harm;
%   a failed build reports the compiler's message. Raises an error on the
%   first failure and prints PASSED at the end.

if exist(scratch, 'dir')
    confirm_recursive_rmdir(false, 'local');
    rmdir(scratch, 's');
end
tree = fullfile(scratch, 'source tree');
outdir = fullfile(scratch, 'out dir');
mkdir(tree);
for folder = {'config', 'matlab', 'common', 'subproblem', 'pairs', 'method'}
    copyfile(fullfile(root, folder{1}), fullfile(tree, folder{1}));
end
addpath(fullfile(tree, 'matlab'));
mex_names = listed_names(fullfile(tree, 'config', 'mex_files.txt'));
m_files = listed_m_files(fullfile(tree, 'config', 'm_files.txt'));

% Before any build, the help files stand in for the MEX-files.
for k = 1:numel(mex_names)
    expect_error(mex_names{k}, [mex_names{k} ':notBuilt']);
end

% Unset CXXFLAGS stays unset: an empty one would change later mkoctfile builds.
unsetenv('CXXFLAGS');
make_mex(outdir);
assert(isempty(getenv('CXXFLAGS')), 'make_mex left CXXFLAGS set');
addpath(outdir);
for k = 1:numel(mex_names)
    assert(exist(mex_names{k}) == 3, '%s is not a MEX-file after make_mex', mex_names{k});
    assert(strcmp(fileparts(which(mex_names{k})), outdir), '%s is not loaded from %s', ...
           mex_names{k}, outdir);
end
for k = 1:numel(m_files)
    assert(exist(fullfile(outdir, m_files{k}), 'file') == 2, '%s was not copied', m_files{k});
end
[text, format] = get_help_text('brevak');
assert(strcmp(format, 'plain text') && ~isempty(strfind(text, 'BREVAK')), ...
       'help brevak finds no help text beside the MEX-file');

% A rebuild while the MEX-files are loaded: they are cleared first, so the
% calls after it run the new files (overwriting a loaded one could crash).
assert(isequal(brevak(zeros(4), -eye(2), 0, 0, 0, 0), eye(2)));
assert(isequal(tolmiv(1, 1, 1, 1, 1), [1; 2]));
setenv('CXXFLAGS', '-O1');
make_mex(outdir);
assert(strcmp(getenv('CXXFLAGS'), '-O1'), 'make_mex did not restore CXXFLAGS');
unsetenv('CXXFLAGS');
assert(isequal(brevak(zeros(4), [0 -1; 1 0], 0, 0, 0, 0), [0 1; -1 0]));
assert(isequal(zandrel(1, 1, 1, 1, 1), [1; 2]));
% A rebuild from changed sources takes effect in the running session: the
% argument checks' messages are edited in the copy, and the new text must
% come out of the next call.
edited = false;
for folder = {'common', 'matlab'}
    for entry = dir(fullfile(tree, folder{1}))'
        file = fullfile(tree, folder{1}, entry.name);
        if entry.isdir || isempty(regexp(entry.name, '\.h$', 'once'))
            continue;
        end
        text = fileread(file);
        if ~isempty(strfind(text, 'expected at least'))
            fid = fopen(file, 'w');
            fwrite(fid, strrep(text, 'expected at least', 'rebuilt: expected at least'));
            fclose(fid);
            edited = true;
        end
    end
end
assert(edited, 'no header in common/ or matlab/ holds the message "expected at least"');
make_mex(outdir);
try
    brevak(1);
    error('test_make_mex:noError', 'brevak(1) raised no error');
catch err
    assert(~isempty(strfind(err.message, 'rebuilt: expected at least')), ...
           'the rebuilt MEX-file is not the one that runs: %s', err.message);
end

% A failed build says why.
broken = fullfile(tree, 'subproblem', 'polynomial_roots.cpp');
fid = fopen(broken, 'a');
fprintf(fid, '\nthis is not C++;\n');
fclose(fid);
try
    make_mex(fullfile(scratch, 'broken'));
    error('test_make_mex:noError', 'make_mex succeeded on a broken source');
catch err
    assert(strcmp(err.identifier, 'make_mex:buildFailed'), 'identifier %s', err.identifier);
    assert(~isempty(strfind(err.message, 'polynomial_roots.cpp')) && ...
           ~isempty(strfind(err.message, 'error')), ...
           'the message does not show the compiler''s error: %s', err.message);
end
disp('PASSED');
end

function expect_error(name, identifier)
try
    feval(name, 1);
catch err
    assert(strcmp(err.identifier, identifier), '%s raised %s, not %s', name, ...
           err.identifier, identifier);
    return;
end
error('test_make_mex:noError', '%s raised no error', name);
end

function names = listed_names(list_file)
lines = strsplit(fileread(list_file), "\n");
names = {};
for k = 1:numel(lines)
    token = regexp(lines{k}, '^([A-Za-z]\w*):', 'tokens', 'once');
    if ~isempty(token)
        names{end + 1} = token{1}; %#ok<AGROW>
    end
end
end

function files = listed_m_files(list_file)
lines = strtrim(strsplit(fileread(list_file), "\n"));
lines = lines(~cellfun(@isempty, lines) & ~strncmp(lines, '#', 1));
files = cellfun(@(f) regexprep(f, '^.*/', ''), lines, 'UniformOutput', false);
end
