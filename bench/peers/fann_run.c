/* FANN peer: recall speed in double precision. Builds a standard network
   (or, with --sparse RATE, FANN's sparse network, which keeps that share of
   the connections), randomises it and runs it REPEATS times; prints
   multiply-adds per second of the connections it has.
   Usage: fann_run REPEATS [--sparse RATE] SIZE... */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <doublefann.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
  unsigned int sizes[16];
  unsigned int n = 0;
  if (argc < 4) return 2;
  int repeats = atoi(argv[1]);
  int first = 2;
  float rate = 1.0f;
  if (strcmp(argv[2], "--sparse") == 0) {
    rate = (float)atof(argv[3]);
    first = 4;
  }
  if (argc - first < 2 || argc - first > 16) return 2;
  for (int i = first; i < argc; ++i) sizes[n++] = (unsigned int)atoi(argv[i]);
  struct fann* ann = rate < 1.0f ? fann_create_sparse_array(rate, n, sizes) : fann_create_standard_array(n, sizes);
  fann_randomize_weights(ann, -0.5, 0.5);
  fann_set_activation_function_hidden(ann, FANN_SIGMOID);
  fann_set_activation_function_output(ann, FANN_SIGMOID);
  double* input = malloc(sizeof(double) * sizes[0]);
  for (unsigned int i = 0; i < sizes[0]; ++i) input[i] = (double)i / sizes[0];
  double checksum = 0;
  double start = Now();
  for (int r = 0; r < repeats; ++r) {
    input[0] = r * 1e-3;
    checksum += fann_run(ann, input)[0];
  }
  double seconds = Now() - start;
  double macs = (double)fann_get_total_connections(ann) * repeats;
  printf("%.6f %.0f %g\n", seconds, macs / seconds, checksum);
  free(input);
  fann_destroy(ann);
  return 0;
}
