// The translation unit the test suites' precompiled headers are made from.
