"""vornimport: field data (current meters, dredge logs) as a run folder of
vornv7 (see __main__.py and docs/vornimport.md)."""
