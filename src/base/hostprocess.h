#pragma once
// Process-wide settings the host needs before any window or file exists.

// On Linux: a write beyond the file-size limit must fail with EFBIG, to be
// reported like any other write failure, instead of ending the program by
// SIGXFSZ with the image half written.
void PrepareHostProcess();
