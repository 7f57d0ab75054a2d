function expect_loaded_from(folder)
%EXPECT_LOADED_FROM  Check that brevak, tolmiv and zandrel run as MEX-files from FOLDER.
names = {'brevak', 'tolmiv', 'zandrel'};
for k = 1:numel(names)
    file = which(names{k});
    [where, base, ext] = fileparts(file);
    if ~strcmp(ext, ['.' mexext]) || ~strcmp(base, names{k}) || ...
            ~strcmp(full_path(where), full_path(folder))
        error('test:wrongFile', '%s resolves to "%s", expected %s.%s in %s', names{k}, ...
              file, names{k}, mexext, folder);
    end
end
end

function p = full_path(folder)
% The folder's absolute path as the host sees it after changing into it.
here = pwd;
restore = onCleanup(@() cd(here));
cd(folder);
p = pwd;
end
