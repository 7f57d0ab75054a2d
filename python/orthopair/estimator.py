"""SparsePCA: a scikit-learn-style estimator over the native solver.

It is a scikit-learn estimator (get_params, set_params, clone, Pipeline,
GridSearchCV) where scikit-learn is installed, and the same class on plain
NumPy where it is not.
"""

import numpy as np

from ._spca import sparse_pca

try:  # scikit-learn is optional
    from sklearn.base import BaseEstimator, TransformerMixin
except ImportError:  # pragma: no cover - exercised only without scikit-learn
    class BaseEstimator:
        """get_params / set_params by the names of __init__, as scikit-learn has them."""

        def get_params(self, deep=True):
            import inspect
            names = [p for p in inspect.signature(type(self).__init__).parameters if p != "self"]
            return {name: getattr(self, name) for name in names}

        def set_params(self, **params):
            for name, value in params.items():
                setattr(self, name, value)
            return self

    class TransformerMixin:
        def fit_transform(self, X, y=None, **fit_params):
            return self.fit(X, y, **fit_params).transform(X)

__all__ = ["SparsePCA"]


class SparsePCA(TransformerMixin, BaseEstimator):
    """Sparse principal components with exactly orthonormal loadings.

    ``fit(X)`` is :func:`orthopair.sparse_pca` on the data X (m samples by n
    features): X is centred and the problem solved is::

        minimise   -1/2 trace(W' S W) + alpha * sum|W|   subject to W'W = I,

    W n-by-n_components, with S = Xc'Xc / (m - 1) the sample covariance, so
    that alpha means what sparse_pca's lambda means and the same whatever m.
    alpha = 0 gives the principal components themselves; a larger alpha
    puts more exact zeros in the loadings. The starts are sparse_pca's (the
    principal components, then seeded random starts; n_starts None for its
    default: 5 for n <= 200, 3 for n <= 1000, else 1) and the best is kept;
    refit ('auto', True, False) is sparse_pca's re-fit of the loadings on
    the support found.

    Parameters: n_components, alpha, n_starts, refit, and the solver's options rule,
    tol, tol_stat, max_iter, time_limit, random_state (the seed of the first
    start and of the run's random pairs; the random starts take the seeds
    after it; a whole number) and verbose. None, the default of each of
    these, means the solver's own default (solve's option table: rule
    'mixed', tol 1e-10, tol_stat 1e-6, seed 1, ...).

    Attributes after fit:
      components_            n_components-by-n loadings, orthonormal rows,
                             ordered by the variance each adds to those
                             before it, each with its largest-magnitude
                             entry positive
      mean_                  the feature means removed before the fit
      explained_variance_    the variance of each component's scores,
                             ||Xc w_k||^2 / (m - 1)
      explained_variance_ratio_  the same over the data's total variance
      adjusted_variance_     the variance each component adds beyond the
                             ones before it (Zou, Hastie and Tibshirani,
                             2006): with the QR factorisation Xc W = Q R,
                             R_kk^2 / (m - 1). Sparse loadings give
                             correlated scores, whose variances overcount;
                             the adjusted variances sum to the variance the
                             components explain together.
      adjusted_variance_ratio_   the same over the total variance
      total_variance_        trace of the data's covariance (ddof 1)
      n_iter_, result_       the kept run's iteration count and the
                             solver's Result
      info_                  sparse_pca's SparsePCAInfo (the starts, ...)
      n_features_in_, n_components_

    ``transform(X)`` returns the scores (X - mean_) @ components_.T.

    Example::

        >>> import numpy as np, orthopair
        >>> X = np.random.default_rng(0).standard_normal((100, 12))
        >>> model = orthopair.SparsePCA(n_components=3, alpha=0.2).fit(X)
        >>> model.components_.shape
        (3, 12)
    """

    def __init__(self, n_components=2, alpha=1.0, *, n_starts=None, refit="auto", rule=None,
                 tol=None, tol_stat=None, max_iter=None, time_limit=None, random_state=None,
                 verbose=False):
        self.n_components = n_components
        self.alpha = alpha
        self.n_starts = n_starts
        self.refit = refit
        self.rule = rule
        self.tol = tol
        self.tol_stat = tol_stat
        self.max_iter = max_iter
        self.time_limit = time_limit
        self.random_state = random_state
        self.verbose = verbose

    @staticmethod
    def _data(X):
        X = np.asarray(X, dtype=np.float64)
        if X.ndim != 2:
            raise ValueError(f"SparsePCA: X must be a 2-D array (samples by features); "
                             f"got {X.ndim} dimensions.")
        if not np.all(np.isfinite(X)):
            raise ValueError("SparsePCA: X has NaN or Inf entries.")
        return X

    def fit(self, X, y=None):
        X = self._data(X)
        m, n = X.shape
        r = int(self.n_components)
        if m < 2:
            raise ValueError(f"SparsePCA: at least 2 samples are needed; got {m}.")
        if not 1 <= r <= n:
            raise ValueError(f"SparsePCA: n_components must lie in 1 ... {n}; got {r}.")
        W, info = sparse_pca(X, r, float(self.alpha), data=True, starts=self.n_starts,
                             refit=self.refit, rule=self.rule, tol=self.tol, tol_stat=self.tol_stat,
                             max_iter=self.max_iter, time_limit=self.time_limit, seed=self.random_state,
                             verbose=self.verbose)
        # The means sparse_pca removed: column sums taken one sample after
        # another, over m.
        self.mean_ = np.add.reduce(np.ascontiguousarray(X), axis=0) / m
        self.components_ = np.ascontiguousarray(W.T)
        self.explained_variance_ = np.asarray(info.variance_per_component)
        self.total_variance_ = float(info.total_variance)
        self.explained_variance_ratio_ = self.explained_variance_ / self.total_variance_
        self.adjusted_variance_ = np.asarray(info.adjusted_per_component)
        self.adjusted_variance_ratio_ = self.adjusted_variance_ / self.total_variance_
        self.n_iter_ = info.iterations
        self.result_ = info.result
        self.info_ = info
        self.n_features_in_ = n
        self.n_components_ = r
        return self

    def transform(self, X):
        if not hasattr(self, "components_"):
            raise RuntimeError("SparsePCA: call fit before transform.")
        X = self._data(X)
        if X.shape[1] != self.n_features_in_:
            raise ValueError(f"SparsePCA: X has {X.shape[1]} features; the model was fitted "
                             f"on {self.n_features_in_}.")
        return (X - self.mean_) @ self.components_.T

    def fit_transform(self, X, y=None):
        return self.fit(X, y).transform(X)

    def inverse_transform(self, Z):
        """Back to the feature space: Z @ components_ + mean_."""
        return np.asarray(Z, dtype=np.float64) @ self.components_ + self.mean_
