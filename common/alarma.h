// The tick of the timer demos: each SIGALRM that funcion_alarma handles
// adds 10 to the process's own segundos and reports the new count with
// the process number, as one write.
#ifndef ALARMA_H
#define ALARMA_H

extern int segundos;

void funcion_alarma(int);

#endif
