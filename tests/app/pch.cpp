// Only the carrier of the window tests' precompiled headers.
