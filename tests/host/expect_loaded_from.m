function expect_loaded_from(folder)
%EXPECT_LOADED_FROM  Check that brevak, tolmiv and zandrel run as MEX-files from FOLDER.
names = {'brevak', 'tolmiv', 'zandrel'};
for k = 1:numel(names)
    file = which(names{k});
    [where, base, ext] = fileparts(file);
    if ~strcmp(ext, '.mex') || ~strcmp(base, names{k}) || ...
            ~strcmp(canonicalize_file_name(where), canonicalize_file_name(folder))
        error('test:wrongFile', '%s resolves to "%s", expected %s.mex in %s', names{k}, ...
              file, names{k}, folder);
    end
end
end
