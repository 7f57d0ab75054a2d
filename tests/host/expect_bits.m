function expect_bits(actual, expected, what)
%EXPECT_BITS  Check that ACTUAL is a real double array equal to EXPECTED bit for bit.
%   Sizes must agree; EXPECTED may be given as a row or column of the same
%   number of elements only when ACTUAL is a vector, in which case its shape
%   is taken as it is. WHAT names the case in a failure message.
if nargin < 3
    what = 'result';
end
if ~isa(actual, 'double') || ~isreal(actual) || issparse(actual)
    error('test:notDouble', '%s: expected a real full double array, got %s', what, class(actual));
end
if ~isequal(size(actual), size(expected))
    error('test:size', '%s: expected size %s, got %s', what, mat2str(size(expected)), ...
          mat2str(size(actual)));
end
a = typecast(actual(:), 'uint64');
e = typecast(double(expected(:)), 'uint64');
k = find(a ~= e, 1);
if ~isempty(k)
    error('test:bits', '%s: element %d is %s (%.17g), expected %s (%.17g)', what, k, ...
          num2hex(actual(k)), actual(k), num2hex(expected(k)), expected(k));
end
end
