function cases = read_reference(file)
%READ_REFERENCE  Read the cases written by host_reference_data.
%   CASES is a cell array of structs with fields kind (function name),
%   label, and one row of doubles per array of the case, rebuilt from the
%   hex of their bits.
text = fileread(file);
lines = strsplit(text, sprintf('\n'));
cases = {};
current = [];
for k = 1:numel(lines)
    line = lines{k};
    if isempty(line)
        continue;
    end
    tokens = strsplit(line, ' ');
    switch tokens{1}
        case 'case'
            current = struct('kind', tokens{2}, 'label', tokens{3});
        case 'end'
            cases{end + 1} = current; %#ok<AGROW>
            current = [];
        otherwise
            count = str2double(tokens{2});
            if count ~= numel(tokens) - 2
                error('test:reference', '%s, line %d: %d values announced, %d given', file, ...
                      k, count, numel(tokens) - 2);
            end
            if count == 0
                values = zeros(1, 0);
            else
                values = reshape(hex2num(char(tokens(3:end))), 1, []);
            end
            current.(tokens{1}) = values;
    end
end
if isempty(cases)
    error('test:reference', '%s holds no cases', file);
end
end
