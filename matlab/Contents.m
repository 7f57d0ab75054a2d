% orthopair: two-index steps for minimisation under orthogonality constraints.
%
% Kernels (MEX-files; build them with make_mex or install the package)
%   brevak              - Best 2-by-2 rotation or reflection V for the
%                         subproblem 1/2*V(:)'*Q*V(:) + <G,V> + lambda*||V*[z1;z2]||_1,
%                         by exact candidate search over the circle.
%   tolmiv              - Working pair of columns (i, j) by the
%                         maximum-violation rule: the sampled pair with the
%                         largest |<A_i,B_j> - <B_i,A_j>|.
%   zandrel             - Working pair of columns (i, j) by the
%                         objective-reduction rule: the sampled pair whose best
%                         2-by-2 orthogonal recombination lowers <B,A> most.
%
% Solver built on them: min 1/2*tr(X'AX) + <E,X> + sum_j lambda_j*||X(:,j)||_1, X'X = I
%   orthopair_solve      - The general problem, run natively until certified.
%   sparse_pca           - Sparse PCA from a covariance or a data matrix.
%   sparse_pca_path      - Sparse PCA along a grid of weights: nonzeros against variance.
%   l1_procrustes        - Orthogonal Procrustes problem with an L1 penalty.
%   orthopair_polish     - Improve any feasible point until certified; report the gain.
%   orthopair_certify    - Measure both stationarity conditions, in plain M-code.
%   orthopair_problem    - Check a problem's data; multiply by A in any of its forms.
%   pair_subproblem      - The Q, G, z1, z2 of brevak for one two-row step.
%   orthopair_run        - The native iteration (MEX-file) behind orthopair_solve.
%   orthopair_seed       - Seed the C generator the pair selectors draw from.
%   sparse_pca_two_index - Readable M-file loop of greedy two-row steps (reference).
%   pair_rotation_model  - Exact quadratic change of -1/2*tr(X'CX) under a
%                          two-row step, as the Q and G of brevak.
%   pair_stationarity    - How far X is from a point no small rotation improves.
%   seeded_uniform       - Uniform numbers that are the same in MATLAB and Octave.
%
% Building
%   The help files of the MEX-files (brevak.m, ...) hold help text only; the
%   MEX-file of the same name is found before them. Where it is missing, a
%   call raises <name>:notBuilt: run make_mex in the matlab folder of the
%   source tree (or install the Octave package orthopair) and add the
%   folder of the MEX-files to the path.
%
% Version
%   orthopair_version   - Version of the toolbox, e.g. '0.1.0'.
%
% The selectors draw their pairs from the C runtime's rand() of the host
% process, which they never seed (orthopair_seed does); solver runs draw from
% a generator of their own (option seed). Results are fixed to the last bit
% on every build. Licence: BSD-3-Clause (file COPYING).
