/* FANN peer: load a network file; prints the load time in seconds and the
   number of connections. Usage: fann_load FILE */
#include <stdio.h>
#include <time.h>
#include <doublefann.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  double start = Now();
  struct fann* ann = fann_create_from_file(argv[1]);
  double seconds = Now() - start;
  if (ann == NULL) return 1;
  printf("%.6f %u\n", seconds, fann_get_total_connections(ann));
  fann_destroy(ann);
  return 0;
}
