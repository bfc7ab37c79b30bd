/* FANN peer: create a standard fully connected network, randomise its
   weights and save it. Usage: fann_generate OUT SIZE... */
#include <stdlib.h>
#include <doublefann.h>

int main(int argc, char** argv) {
  unsigned int sizes[16];
  unsigned int n = 0;
  if (argc < 4 || argc > 18) return 2;
  for (int i = 2; i < argc; ++i) sizes[n++] = (unsigned int)atoi(argv[i]);
  struct fann* ann = fann_create_standard_array(n, sizes);
  if (ann == NULL) return 1;
  fann_randomize_weights(ann, -0.5, 0.5);
  int failed = fann_save(ann, argv[1]);
  fann_destroy(ann);
  return failed == 0 ? 0 : 1;
}
