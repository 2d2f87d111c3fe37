#ifndef ERROR_Y_EXIT_H
#define ERROR_Y_EXIT_H

// Writes "mensaje: <description of errno>" to descriptor 2, then exits.
[[noreturn]] void error_y_exit(const char *mensaje, int status);

#endif
