function two_outputs(f, args)
%TWO_OUTPUTS  Call F(ARGS{:}) asking for two outputs.
[first, second] = f(args{:}); %#ok<ASGLU>
end
