// Compiles the test programs' precompiled headers; nothing of its own.
