% brevak when its solver cannot get memory, or fails otherwise: a host error
% with an identifier, no crash, and the next call works as before.
% brevak_alloc_fault is brevak's gateway over a scratch heap whose k-th
% allocation fails, as the variable ORTHOPAIR_ALLOC_FAULT = "<k> <kind>" asks
% (kind: null, bad_alloc, runtime_error or int); it raises
% brevak_alloc_fault:leak when a call returns with a block not given back.

Q = [4 1 0.5 -1; 1 3 0.2 0.4; 0.5 0.2 5 -0.3; -1 0.4 -0.3 2];
G = [0.3 -1.2; 0.8 0.1];
z1 = [1.5 -0.7 2.0 -3.0 0.4];
z2 = [0.2 1.1 -0.5 2.5 -1.0];
args = {Q, G, 0.9, z1, z2, 5};
[reference, reference_f] = brevak(args{:});

setenv('ORTHOPAIR_ALLOC_FAULT', '');
expect_bits(brevak_alloc_fault(args{:}), reference, 'no fault armed');

% Each allocation of the call in turn, with the heap out of memory (null) or
% throwing: a failure there is reported as brevak:outOfMemory, until k passes
% the last allocation and the call works.
for kind = {'null', 'bad_alloc'}
    failed = 0;
    succeeded = false;
    for k = 1:100
        setenv('ORTHOPAIR_ALLOC_FAULT', sprintf('%d %s', k, kind{1}));
        try
            [V, f] = brevak_alloc_fault(args{:});
            succeeded = true;
        catch err
            if ~strcmp(err.identifier, 'brevak:outOfMemory')
                error('test:oom', 'allocation %d failing (%s) gave "%s": %s', k, kind{1}, ...
                      err.identifier, err.message);
            end
            failed = failed + 1;
        end
        if succeeded
            expect_bits(V, reference, sprintf('a call with allocation %d armed to fail', k));
            expect_bits(f, reference_f, sprintf('objective with allocation %d armed to fail', k));
            break;
        end
    end
    if failed == 0 || ~succeeded
        error('test:oom', '%d allocations failed (%s), then no call succeeded', failed, kind{1});
    end
    fprintf('%d allocations of one call failed in turn (%s), each reported\n', failed, kind{1});
end

% With no pairs, and with more pairs than the term arrays of a small call.
for n = [0 5]
    setenv('ORTHOPAIR_ALLOC_FAULT', '1 null');
    expect_error('brevak:outOfMemory', @() brevak_alloc_fault(Q, G, 0.9, z1, z2, n));
end

% No output is left behind by a failed call made as a statement.
setenv('ORTHOPAIR_ALLOC_FAULT', '1 bad_alloc');
ans = 'unchanged';
expect_error('brevak:outOfMemory', @() brevak_alloc_fault(args{:}));
try
    brevak_alloc_fault(args{:});
catch
end
if ~strcmp(ans, 'unchanged')
    error('test:oom', 'a failed call changed ans');
end

% Other exceptions are reported too, and never cross into the host.
setenv('ORTHOPAIR_ALLOC_FAULT', '2 runtime_error');
expect_error('brevak:internal', @() brevak_alloc_fault(args{:}));
setenv('ORTHOPAIR_ALLOC_FAULT', '1 int');
expect_error('brevak:internal', @() brevak_alloc_fault(args{:}));

% Afterwards everything works as before.
setenv('ORTHOPAIR_ALLOC_FAULT', '');
expect_bits(brevak_alloc_fault(args{:}), reference, 'after the failures');
expect_bits(brevak(args{:}), reference, 'brevak after the failures');

