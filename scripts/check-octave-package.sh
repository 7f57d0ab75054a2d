#!/usr/bin/env bash
# Makes the Octave package, installs it with `pkg install` into an empty
# temporary prefix, loads it in a fresh Octave and runs the tests kept in its
# M-files, as a user would after `pkg load orthopair`. Fails when any step or
# test fails. Needs what the example needs (scripts/setup.sh example).
#
# usage: check-octave-package.sh [WORK_DIR]    (default: a temporary folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/scratch-folder.sh"
work_folder "${@:1:1}"

bash "$root/scripts/build-octave-package.sh" "$work"
tarball=$(ls "$work"/orthopair-*.tar.gz)
version=$(sed -n "s/^v = '\([0-9.]*\)';$/\1/p" "$root/matlab/orthopair_version.m")

run_octave() {  # code: runs it in a fresh octave-cli with the scratch package list
  local log=$work/octave.log
  local status=0
  (cd "$work" && octave-cli --no-gui --norc --quiet --no-history --eval \
    "pkg('prefix', '$work/prefix', '$work/prefix'); pkg('local_list', '$work/octave_packages'); $1") \
    >"$log" 2>&1 || status=$?
  # octave-cli may print this harmless line as it exits.
  grep -v "ignoring const execution_exception" "$log" || true
  return $status
}

echo "== pkg install $(basename "$tarball")"
run_octave "pkg('install', '-local', '-verbose', '$tarball'); disp('INSTALLED')"

echo "== pkg load orthopair, then the tests kept in its M-files"
run_octave "
pkg('load', 'orthopair');
where = fileparts(which('brevak'));
if ~strncmp(where, '$work/prefix', numel('$work/prefix'))
  error('brevak comes from %s, not from the installed package', where);
end
if exist('brevak') ~= 3
  error('brevak is not a MEX-file here: the package built no MEX-file');
end
[text, format] = get_help_text('brevak');
if ~strcmp(format, 'plain text') || isempty(strfind(text, 'BREVAK'))
  error('help brevak finds no help text in the installed package');
end
desc = pkg('describe', 'orthopair');
if ~strcmp(orthopair_version(), '$version') || ~strcmp(desc{1}.version, '$version')
  error('version mismatch: orthopair_version %s, DESCRIPTION %s, source $version', ...
        orthopair_version(), desc{1}.version);
end
% Every function the package ships keeps tests in its M-file: a function
% without any fails the check as a failed test does.
files = dir(fullfile(where, '*.m'));
names = setdiff(regexprep({files.name}, '\\.m\$', ''), {'Contents'});
failed = {};
for k = 1:numel(names)
  [passed, total] = test(names{k}, 'quiet', stdout);
  printf('%-22s %d of %d tests passed\n', names{k}, passed, total);
  if total == 0 || passed < total
    failed{end + 1} = names{k};
  end
end
if ~isempty(failed)
  error('the package tests failed or are missing in: %s', strjoin(failed, ', '));
end
% pkg test runs the same blocks through the test suite, which writes its
% log fntests.log into the current folder: here the scratch folder.
pkg('test', 'orthopair');
pkg('unload', 'orthopair');
disp('PACKAGE OK')"
