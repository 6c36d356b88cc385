"""vornens: ensembles of vornv7 runs (see __main__.py and docs/vornens.md)."""
