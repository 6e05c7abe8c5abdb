// The entry point: argument check, the read and write stages, exit status.
#pragma once

// Prints the usage text to standard error.
void usage();
