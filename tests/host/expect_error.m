function expect_error(id, f, pattern)
%EXPECT_ERROR  Check that calling F() raises an error with identifier ID.
%   The error must also carry a message, and the host must go on running.
%   EXPECT_ERROR(ID, F, PATTERN) also requires the message to match the
%   regular expression PATTERN.
try
    f();
catch err
    if ~strcmp(err.identifier, id)
        error('test:wrongError', 'expected error %s, got "%s": %s', id, err.identifier, err.message);
    end
    if isempty(err.message)
        error('test:noMessage', 'error %s came without a message', id);
    end
    if nargin >= 3 && isempty(regexp(err.message, pattern, 'once'))
        error('test:message', 'error %s: message "%s" does not match "%s"', id, err.message, ...
              pattern);
    end
    return;
end
error('test:noError', 'expected error %s, but the call succeeded', id);
end
