"""The harness shared by the end-to-end suites: check counting and test groups, a local HTTP(S)
server, file helpers, and the builder of W05 river data files and code lists. CTest puts the
folder above this package on PYTHONPATH."""
