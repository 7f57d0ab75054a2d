function make_mex(outdir)
%MAKE_MEX  Compile the toolbox's MEX-files from source.
%   MAKE_MEX compiles the MEX-files listed in config/mex_files.txt (brevak,
%   tolmiv, zandrel, and the solver's orthopair_run and orthopair_seed) into
%   the folder that holds this file, beside their help files and the
%   solver's M-files, so that this folder is the whole toolbox. Add it to
%   the path to use them:
%
%       cd matlab        % this folder of the source tree
%       make_mex
%       addpath(pwd)
%
%   MAKE_MEX(OUTDIR) puts the MEX-files into the folder OUTDIR instead,
%   creating it when needed, and copies the toolbox's M-files there (the
%   help files, ORTHOPAIR_VERSION, Contents.m and the solver built on the
%   kernels), so that OUTDIR alone is a complete toolbox folder.
%
%   A MEX-file that is loaded in the running session is cleared before it is
%   rebuilt, so the next call runs the new one (on Windows a loaded MEX-file
%   is also locked against being overwritten).
%
%   It runs in MATLAB, with a C++17 compiler chosen by `mex -setup C++`, and
%   in GNU Octave, with mkoctfile (Debian: liboctave-dev). The kernels'
%   results are fixed to the last bit by the order of their floating-point
%   operations, so every compilation turns off contraction into fused
%   multiply-adds and never relaxes IEEE semantics; the flags are those of
%   config/fp_flags.txt, the same as for every other build. Only mexFunction
%   is exported. In MATLAB the files are built with -compatibleArrayDims, the
%   32-bit array interface under which mxCreateDoubleMatrix binds to
%   mxCreateDoubleMatrix_700.
%
%   The solver's MEX-file orthopair_run uses the Eigen headers (header-only,
%   Debian: libeigen3-dev), taken from the folder in the environment variable
%   EIGEN_DIR or else /usr/include/eigen3; make_mex stops with
%   make_mex:noEigen when they are not there.
%
%   The MEX-files and their sources are listed in config/mex_files.txt, the
%   M-files in config/m_files.txt; adding one is a line there.
%
%   See also BREVAK, TOLMIV, ZANDREL, ORTHOPAIR_VERSION.

here = fileparts(mfilename('fullpath'));
root = fileparts(here);
if nargin < 1 || isempty(outdir)
    outdir = here;
end
if ~exist(outdir, 'dir')
    mkdir(outdir);
end
outdir = absolute_folder(outdir);

targets = read_mex_list(fullfile(root, 'config', 'mex_files.txt'), root);
flags = read_flags(fullfile(root, 'config', 'fp_flags.txt'));
in_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;

% The compiler writes its output into the current folder, so that no path
% with a space ever reaches a command line unquoted.
previous_folder = cd(outdir);
back = onCleanup(@() cd(previous_folder));

for t = 1:numel(targets)
    name = targets(t).name;
    fprintf('make_mex: building %s\n', name);
    % A loaded MEX-file would stay in use (and on Windows locked) after it
    % is rebuilt; clearing it unloads it.
    clear(name);
    args = [targets(t).includes, targets(t).macros, targets(t).sources];
    if in_octave
        build_octave(name, args, flags);
    else
        build_matlab(name, args, flags);
    end
end

if ~strcmp(outdir, absolute_folder(here))
    copy_m_files(fullfile(root, 'config', 'm_files.txt'), root, outdir);
end
fprintf('make_mex: %s built in %s\n', strjoin({targets.name}, ', '), outdir);
end

function targets = read_mex_list(list_file, root)
% One MEX-file a line, "<name>: <item> ...": sources (from the top of the
% source tree), -D<macro>, -I<folder> and +eigen (the Eigen headers).
targets = struct('name', {}, 'sources', {}, 'includes', {}, 'macros', {});
for line = read_lines(list_file)
    parts = regexp(line{1}, '^([A-Za-z]\w*):\s*(.*)$', 'tokens', 'once');
    if isempty(parts)
        continue;
    end
    items = strsplit(strtrim(parts{2}));
    target = struct('name', parts{1}, 'sources', {{}}, 'includes', {{}}, 'macros', {{}});
    for k = 1:numel(items)
        item = items{k};
        if strcmp(item, '+eigen')
            target.includes{end + 1} = ['-I' eigen_folder()];
        elseif strncmp(item, '-D', 2)
            target.macros{end + 1} = item;
        elseif strncmp(item, '-I', 2)
            target.includes{end + 1} = ['-I' to_native(root, item(3:end))];
        elseif ~isempty(item)
            target.sources{end + 1} = to_native(root, item);
        end
    end
    targets(end + 1) = target; %#ok<AGROW>
end
if isempty(targets)
    error('make_mex:badList', 'make_mex: no MEX-file is listed in %s', list_file);
end
end

function folder = eigen_folder()
% The folder that holds Eigen/Core: the environment variable EIGEN_DIR, or
% the system's copy (Debian: libeigen3-dev).
folder = getenv('EIGEN_DIR');
if isempty(folder)
    folder = '/usr/include/eigen3';
end
if ~exist(fullfile(folder, 'Eigen', 'Core'), 'file')
    error('make_mex:noEigen', ['make_mex: the solver''s MEX-file needs the Eigen headers, ' ...
          'which are not in %s. Install them (Debian: libeigen3-dev) or set the ' ...
          'environment variable EIGEN_DIR to the folder that holds Eigen/Core.'], folder);
end
end

function flags = read_flags(flags_file)
% "<case>: <flags>" lines, as a struct with one field per case.
flags = struct('gnu', '', 'clang', '', 'x86_32', '', 'msvc', '', 'mex', '', 'mex_msvc', '');
for line = read_lines(flags_file)
    parts = regexp(line{1}, '^([\w-]+):\s*(.*)$', 'tokens', 'once');
    if ~isempty(parts)
        flags.(strrep(parts{1}, '-', '_')) = strtrim(parts{2});
    end
end
end

function copy_m_files(list_file, root, outdir)
for line = read_lines(list_file)
    file = strtrim(line{1});
    if isempty(file) || file(1) == '#'
        continue;
    end
    [ok, message] = copyfile(to_native(root, file), outdir);
    if ~ok
        error('make_mex:copyFailed', 'make_mex: cannot copy %s to %s: %s', file, outdir, message);
    end
end
end

function lines = read_lines(file)
text = fileread(file);
lines = regexp(text, '\r?\n', 'split');
lines = lines(~cellfun(@isempty, lines) & ~strncmp(lines, '#', 1));
end

function path = to_native(root, relative)
% A path of the lists (always written with '/') below the source tree.
if strcmp(relative, '.')
    path = root;
else
    path = fullfile(root, strrep(relative, '/', filesep));
end
end

function folder = absolute_folder(folder)
previous = cd(folder);
folder = pwd;
cd(previous);
end

function build_octave(name, args, flags)
% mkoctfile takes its compiler flags from the environment.
cxxflags = [flags.mex ' ' flags.gnu];
if ~isempty(regexp(computer(), '^i[3-6]86', 'once'))
    cxxflags = [cxxflags ' ' flags.x86_32];
end
restore = set_env_for_build('CXXFLAGS', cxxflags); %#ok<NASGU>

% Octave's mkoctfile() function keeps the compiler's messages, which go to
% standard error, out of what it returns; run the same program directly so
% that a failure can say why.
program = fullfile(feval('__octave_config_info__', 'bindir'), 'mkoctfile');
command = ['"' program '" --mex -o "' name '.mex"'];
for k = 1:numel(args)
    command = [command ' "' args{k} '"']; %#ok<AGROW>
end
[status, output] = system([command ' 2>&1']);
if status ~= 0
    error('make_mex:buildFailed', 'make_mex: mkoctfile failed for %s (exit status %d):\n%s', ...
          name, status, output);
end
if ~isempty(strtrim(output))
    fprintf('%s', output);   % the compiler's warnings
end
end

function build_matlab(name, args, flags)
compiler = mex.getCompilerConfigurations('C++', 'Selected');
if isempty(compiler)
    error('make_mex:noCompiler', ...
          'make_mex: no C++ compiler is set up for mex; run "mex -setup C++" first.');
end
if strncmpi(compiler.Manufacturer, 'Microsoft', 9)
    % MSVC exports only what the gateway marks for export.
    options = {['COMPFLAGS=$COMPFLAGS ' flags.mex_msvc ' ' flags.msvc]};
else
    % The optimisation level goes into CXXOPTIMFLAGS, which mex appends after
    % CXXFLAGS; the floating-point flags go into both, so that nothing later
    % on the command line can undo them.
    mex_flags = regexprep(flags.mex, '\s*-O\d\s*', ' ');
    options = {['CXXFLAGS=$CXXFLAGS ' mex_flags ' ' flags.gnu], ...
               ['CXXOPTIMFLAGS=-O2 -DNDEBUG ' flags.gnu]};
end
mex('-compatibleArrayDims', '-output', name, options{:}, args{:});
end

function restore = set_env_for_build(variable, value)
% Sets an environment variable for the build and returns an object that puts
% it back as it was when it goes out of scope: unset again when it was unset,
% so that later builds in the session get the compiler's defaults.
saved = getenv(variable);
was_set = ~isempty(saved);
if exist('isenv', 'builtin') || exist('isenv', 'file')
    was_set = isenv(variable);
end
setenv(variable, value);
if was_set
    restore = onCleanup(@() setenv(variable, saved));
else
    restore = onCleanup(@() unsetenv(variable));
end
end
