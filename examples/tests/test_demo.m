% TEST_DEMO  The worked example runs with its defaults, recovers the planted
% support with a certified sparse run, and its PCA run reaches the eig optimum.

png_dir = tempname;
mkdir(png_dir);
demo_sparse_pca;
assert(support_recovered, 'the demo did not recover the planted support');
assert((hist_pca.f - f_pca) / abs(f_pca) <= 1e-10, 'the demo''s PCA run missed the optimum');
assert(strcmp(hist_pca.stop, 'certified') && strcmp(hist_sparse.stop, 'certified'), ...
    'the demo''s runs did not end certified');
assert(norm(X' * X - eye(size(X, 2)), 'fro') <= 1e-12, 'the demo''s result is not orthonormal');
assert(all(diff(hist_sparse.history.f) <= 1e-12 * max(abs(hist_sparse.history.f))), ...
    'the demo''s sparse run increased F');
png_file = fullfile(png_dir, 'sparse_pca_objective.png');
if exist(png_file, 'file')
    info = dir(png_file);
    assert(info.bytes > 0, 'empty PNG');
    delete(png_file);
else
    fprintf('(no PNG: this host cannot draw here)\n');
end
rmdir(png_dir);
fprintf('test_demo: passed\n');
