function make_mex(outdir)
%MAKE_MEX  Compile the MEX-files brevak, tolmiv and zandrel from source.
%   MAKE_MEX compiles the three MEX-files into the folder that holds this
%   file, beside their help files brevak.m, tolmiv.m and zandrel.m. Add that
%   folder to the path to use them:
%
%       cd matlab        % this folder of the source tree
%       make_mex
%       addpath(pwd)
%
%   MAKE_MEX(OUTDIR) puts the MEX-files into the folder OUTDIR instead,
%   creating it when needed; copy the help files there for `help` to work.
%
%   It runs in MATLAB, with a C++17 compiler chosen by `mex -setup C++`, and
%   in GNU Octave, with mkoctfile (Debian: liboctave-dev). The kernels'
%   results are fixed to the last bit by the order of their floating-point
%   operations, so every compilation turns off contraction into fused
%   multiply-adds (-ffp-contract=off) and never relaxes IEEE semantics. Only
%   mexFunction is exported. In MATLAB the files are built with
%   -compatibleArrayDims, the 32-bit array interface under which
%   mxCreateDoubleMatrix binds to mxCreateDoubleMatrix_700.
%
%   To add a MEX-file, add a row to the table `targets` below: its name, its
%   gateway source, the kernel sources it needs, and the -D macros its
%   gateway needs.
%
%   See also BREVAK, TOLMIV, ZANDREL.

here = fileparts(mfilename('fullpath'));
root = fileparts(here);
if nargin < 1 || isempty(outdir)
    outdir = here;
end
if ~exist(outdir, 'dir')
    mkdir(outdir);
end

% Each MEX-file carries its gateway and the kernel sources it needs, no more:
% the two selectors share the sampling frame, and each has its own rule.
subproblem = {fullfile('subproblem', 'polynomial_roots.cpp'), ...
              fullfile('subproblem', 'circle_search.cpp'), ...
              fullfile('subproblem', 'orthogonal_2x2.cpp')};
frame = fullfile('pairs', 'pair_frame.cpp');

%          name       gateway source                                  kernel sources  macros
targets = {'brevak',  fullfile('subproblem', 'gateway', 'brevak_mex.cpp'),  subproblem, {}
           'tolmiv',  fullfile('pairs', 'gateway', 'pair_select_mex.cpp'),  {frame, fullfile('pairs', 'max_violation.cpp')}, {'PAIR_SELECT_TOLMIV'}
           'zandrel', fullfile('pairs', 'gateway', 'pair_select_mex.cpp'),  {frame, fullfile('pairs', 'max_reduction.cpp')}, {'PAIR_SELECT_ZANDREL'}};

includes = {['-I' root], ['-I' fullfile(root, 'subproblem')], ['-I' fullfile(root, 'pairs')]};
in_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;

for t = 1:size(targets, 1)
    name = targets{t, 1};
    sources = cellfun(@(f) fullfile(root, f), [targets(t, 2), targets{t, 3}], ...
                      'UniformOutput', false);
    macros = cellfun(@(m) ['-D' m], targets{t, 4}, 'UniformOutput', false);
    fprintf('make_mex: building %s\n', name);
    if in_octave
        build_octave(name, outdir, [includes, macros, sources]);
    else
        build_matlab(name, outdir, [includes, macros, sources]);
    end
end
fprintf('make_mex: brevak, tolmiv and zandrel are in %s\n', outdir);
end

function build_octave(name, outdir, args)
% mkoctfile takes its compiler flags from the environment.
flags = ['-std=c++17 -O2 -ffp-contract=off -fno-fast-math ' ...
         '-fvisibility=hidden -fvisibility-inlines-hidden'];
if ~isempty(regexp(computer(), '^i[3-6]86', 'once'))
    % 32-bit x86: SSE2 rounds every operation to double, the x87 unit does not.
    flags = [flags ' -msse2 -mfpmath=sse'];
end
saved = getenv('CXXFLAGS');
restore = onCleanup(@() setenv('CXXFLAGS', saved));
setenv('CXXFLAGS', flags);
[output, status] = mkoctfile('--mex', '-o', fullfile(outdir, [name '.mex']), args{:});
if status ~= 0
    error('make_mex:buildFailed', 'make_mex: mkoctfile failed for %s:\n%s', name, output);
end
if ~isempty(output)
    fprintf('%s', output);   % the compiler's warnings
end
end

function build_matlab(name, outdir, args)
compiler = mex.getCompilerConfigurations('C++', 'Selected');
if isempty(compiler)
    error('make_mex:noCompiler', ...
          'make_mex: no C++ compiler is set up for mex; run "mex -setup C++" first.');
end
if strncmpi(compiler.Manufacturer, 'Microsoft', 9)
    % MSVC contracts nothing under /fp:precise and exports only what the
    % gateway marks for export.
    flags = {'COMPFLAGS=$COMPFLAGS /std:c++17 /fp:precise'};
else
    flags = {['CXXFLAGS=$CXXFLAGS -std=c++17 -ffp-contract=off -fno-fast-math ' ...
              '-fvisibility=hidden -fvisibility-inlines-hidden'], ...
             'CXXOPTIMFLAGS=-O2 -DNDEBUG -ffp-contract=off', ...
             'COPTIMFLAGS=-O2 -DNDEBUG -ffp-contract=off'};
end
mex('-compatibleArrayDims', '-outdir', outdir, '-output', name, flags{:}, args{:});
end
