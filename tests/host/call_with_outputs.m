function call_with_outputs(f, args, n)
%CALL_WITH_OUTPUTS  Call F(ARGS{:}) asking for N outputs.
outputs = cell(1, n);
[outputs{:}] = f(args{:});
end
