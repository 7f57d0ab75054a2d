function v = orthopair_version()
%ORTHOPAIR_VERSION  Version of the orthopair toolbox.
%   V = ORTHOPAIR_VERSION returns the version of the toolbox (the MEX-files
%   BREVAK, TOLMIV and ZANDREL and their M-files) as a character row of the
%   form 'MAJOR.MINOR.PATCH', e.g. '0.1.0'. Compare versions with
%   compare_versions (Octave) or verLessThan-style code on the numbers:
%
%       sscanf(orthopair_version(), '%d.%d.%d')'   % [major minor patch]
%
%   The version changes with every release; NEWS.md lists what changed.
%
%   See also BREVAK, TOLMIV, ZANDREL, MAKE_MEX.

% The line below is the one place where the version is written: CMake (the
% project version), the Octave package (DESCRIPTION and the tarball's name)
% and CITATION.cff are made from it. Keep it in this exact form.
v = '0.1.0';
end

%!test
%! v = orthopair_version();
%! assert(ischar(v) && ~isempty(regexp(v, '^\d+\.\d+\.\d+$', 'once')));
