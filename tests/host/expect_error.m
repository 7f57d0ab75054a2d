function expect_error(id, f)
%EXPECT_ERROR  Check that calling F() raises an error with identifier ID.
%   The error must also carry a message, and the host must go on running.
try
    f();
catch err
    if ~strcmp(err.identifier, id)
        error('test:wrongError', 'expected error %s, got "%s": %s', id, err.identifier, err.message);
    end
    if isempty(err.message)
        error('test:noMessage', 'error %s came without a message', id);
    end
    return;
end
error('test:noError', 'expected error %s, but the call succeeded', id);
end
