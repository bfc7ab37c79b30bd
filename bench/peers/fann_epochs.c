/* FANN 2.2's training speed, for bench/compare_training.py: trains a
 * standard network with sigmoid units (libdoublefann) on a FANN training
 * file for EPOCHS epochs and prints the processor-time milliseconds per
 * epoch (between the ends of the first and the last epoch) and the last
 * epoch's mean squared error.
 *
 * Usage: fann_epochs ALGORITHM EPOCHS FILE HIDDEN...
 *   ALGORITHM  rprop (FANN_TRAIN_RPROP, iRPROP-), incremental, batch, quickprop */
#include <doublefann.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double process_seconds(void) {
  struct timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return (double)now.tv_sec + 1e-9 * (double)now.tv_nsec;
}

int main(int argc, char** argv) {
  static const struct {
    const char* name;
    enum fann_train_enum algorithm;
  } algorithms[] = {{"rprop", FANN_TRAIN_RPROP},
                    {"incremental", FANN_TRAIN_INCREMENTAL},
                    {"batch", FANN_TRAIN_BATCH},
                    {"quickprop", FANN_TRAIN_QUICKPROP}};
  int chosen = -1;
  for (int i = 0; argc >= 5 && i < 4; ++i) {
    if (strcmp(argv[1], algorithms[i].name) == 0) chosen = i;
  }
  if (chosen < 0) {
    fprintf(stderr, "usage: fann_epochs rprop|incremental|batch|quickprop EPOCHS FILE HIDDEN...\n");
    return 2;
  }
  const int epochs = atoi(argv[2]);
  struct fann_train_data* data = fann_read_train_from_file(argv[3]);
  if (data == NULL) return 1;
  unsigned int layers[16];
  unsigned int n = 0;
  layers[n++] = fann_num_input_train_data(data);
  for (int i = 4; i < argc && n < 15; ++i) layers[n++] = (unsigned int)atoi(argv[i]);
  layers[n++] = fann_num_output_train_data(data);
  struct fann* ann = fann_create_standard_array(n, layers);
  fann_set_activation_function_hidden(ann, FANN_SIGMOID);
  fann_set_activation_function_output(ann, FANN_SIGMOID);
  fann_set_training_algorithm(ann, algorithms[chosen].algorithm);
  srand(1);
  fann_randomize_weights(ann, -0.1, 0.1);
  double first_end = 0.0, mse = 0.0;
  for (int epoch = 1; epoch <= epochs; ++epoch) {
    mse = fann_train_epoch(ann, data);
    if (epoch == 1) first_end = process_seconds();
  }
  printf("%.6f %.9g\n", (process_seconds() - first_end) * 1e3 / (epochs - 1), mse);
  fann_destroy(ann);
  fann_destroy_train(data);
  return 0;
}
