/* FANN peer: training, for the side-by-side checks of bench/train_vs_fann.py.

   Builds a standard network of sigmoid units with steepness 0.5, which makes
   FANN's sigmoid 1/(1+exp(-2*0.5*x)) the plain logistic function that
   Netforge's "sigmoid" is; gives it the weights of WEIGHTS (copied in with
   fann_set_weight_array); trains it on the FANN-format data set TRAIN; and
   writes the trained weights to TRAINED and, with a TEST set, the network's
   outputs for each of its rows to OUTPUTS, one row per line.

   Usage: fann_train ALGORITHM ERRORFUNC EPOCHS LEARNINGRATE SIZES WEIGHTS TRAIN TRAINED [TEST OUTPUTS]
     ALGORITHM     incremental, batch, rprop or quickprop (FANN_TRAIN_*)
     ERRORFUNC     linear or tanh (FANN_ERRORFUNC_*; tanh is FANN's default)
     LEARNINGRATE  a number, or "default" for FANN's (0.7)
     SIZES         layer sizes, comma-separated, e.g. 8,32,2
     WEIGHTS, TRAINED
                   one connection per line: FROMLAYER FROMINDEX TOLAYER TOINDEX WEIGHT,
                   layers counted from 0 (input), FROMINDEX equal to the size of
                   the layer for its bias neuron; any order when read, FANN's
                   connection order when written. Weights with 17 digits.
   Prints "seconds S" on standard output: the time of the EPOCHS calls of
   fann_train_epoch. Exit status 2 for bad arguments or files. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <doublefann.h>

#define MAX_LAYERS 16

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

static void Fail(const char* what) {
  fprintf(stderr, "fann_train: %s\n", what);
  exit(2);
}

/* Where a global neuron number of FANN lies: its layer and its index in the
   layer (the layer's size for the bias neuron). FANN numbers every layer's
   neurons in turn, each layer followed by its bias neuron. */
struct Place {
  unsigned int layer, index;
};

static struct Place PlaceOf(unsigned int neuron, unsigned int layers, const unsigned int* sizes,
                            const unsigned int* biases) {
  struct Place place;
  for (place.layer = 0; place.layer < layers; ++place.layer) {
    unsigned int count = sizes[place.layer] + biases[place.layer];
    if (neuron < count) {
      place.index = neuron;
      return place;
    }
    neuron -= count;
  }
  Fail("neuron outside the network");
  return place;
}

struct Keyed {
  unsigned int fromLayer, fromIndex, toLayer, toIndex;
  double weight;
};

static struct Keyed* ReadWeights(const char* path, unsigned int* count) {
  FILE* in = fopen(path, "r");
  if (in == NULL) Fail("cannot open the weights");
  unsigned int capacity = 1024, n = 0;
  struct Keyed* list = malloc(capacity * sizeof *list);
  struct Keyed k;
  while (fscanf(in, "%u %u %u %u %lf", &k.fromLayer, &k.fromIndex, &k.toLayer, &k.toIndex, &k.weight) == 5) {
    if (n == capacity) list = realloc(list, (capacity *= 2) * sizeof *list);
    list[n++] = k;
  }
  fclose(in);
  *count = n;
  return list;
}

static enum fann_train_enum AlgorithmOf(const char* name) {
  if (strcmp(name, "incremental") == 0) return FANN_TRAIN_INCREMENTAL;
  if (strcmp(name, "batch") == 0) return FANN_TRAIN_BATCH;
  if (strcmp(name, "rprop") == 0) return FANN_TRAIN_RPROP;
  if (strcmp(name, "quickprop") == 0) return FANN_TRAIN_QUICKPROP;
  Fail("unknown algorithm");
  return FANN_TRAIN_RPROP;
}

int main(int argc, char** argv) {
  if (argc != 9 && argc != 11) Fail("wrong number of arguments");
  const int epochs = atoi(argv[3]);
  unsigned int sizes[MAX_LAYERS], biases[MAX_LAYERS], layers = 0;
  for (char* p = argv[5]; *p != '\0' && layers < MAX_LAYERS; ++layers) {
    sizes[layers] = (unsigned int)strtoul(p, &p, 10);
    if (*p == ',') ++p;
  }

  struct fann* ann = fann_create_standard_array(layers, sizes);
  if (ann == NULL) Fail("cannot create the network");
  fann_set_activation_function_hidden(ann, FANN_SIGMOID);
  fann_set_activation_function_output(ann, FANN_SIGMOID);
  fann_set_activation_steepness_hidden(ann, 0.5);
  fann_set_activation_steepness_output(ann, 0.5);
  fann_set_training_algorithm(ann, AlgorithmOf(argv[1]));
  fann_set_train_error_function(ann, strcmp(argv[2], "linear") == 0 ? FANN_ERRORFUNC_LINEAR : FANN_ERRORFUNC_TANH);
  if (strcmp(argv[4], "default") != 0) fann_set_learning_rate(ann, (float)atof(argv[4]));
  fann_get_bias_array(ann, biases);

  /* The weights, matched to FANN's connections by their places. */
  const unsigned int total = fann_get_total_connections(ann);
  struct fann_connection* connections = malloc(total * sizeof *connections);
  fann_get_connection_array(ann, connections);
  unsigned int given = 0;
  struct Keyed* weights = ReadWeights(argv[6], &given);
  if (given != total) Fail("the weights do not match the network's connections");
  for (unsigned int c = 0; c < total; ++c) {
    struct Place from = PlaceOf(connections[c].from_neuron, layers, sizes, biases);
    struct Place to = PlaceOf(connections[c].to_neuron, layers, sizes, biases);
    unsigned int k = 0;
    while (k < given && !(weights[k].fromLayer == from.layer && weights[k].fromIndex == from.index &&
                          weights[k].toLayer == to.layer && weights[k].toIndex == to.index)) {
      ++k;
    }
    if (k == given) Fail("a connection without weight");
    connections[c].weight = weights[k].weight;
  }
  fann_set_weight_array(ann, connections, total);

  struct fann_train_data* train = fann_read_train_from_file(argv[7]);
  if (train == NULL) Fail("cannot read the training data");
  const double start = Now();
  for (int epoch = 0; epoch < epochs; ++epoch) fann_train_epoch(ann, train);
  const double seconds = Now() - start;

  FILE* out = fopen(argv[8], "w");
  if (out == NULL) Fail("cannot write the trained weights");
  fann_get_connection_array(ann, connections);
  for (unsigned int c = 0; c < total; ++c) {
    struct Place from = PlaceOf(connections[c].from_neuron, layers, sizes, biases);
    struct Place to = PlaceOf(connections[c].to_neuron, layers, sizes, biases);
    fprintf(out, "%u %u %u %u %.17g\n", from.layer, from.index, to.layer, to.index, connections[c].weight);
  }
  fclose(out);

  if (argc == 11) {
    struct fann_train_data* test = fann_read_train_from_file(argv[9]);
    if (test == NULL) Fail("cannot read the test data");
    FILE* outputs = fopen(argv[10], "w");
    if (outputs == NULL) Fail("cannot write the outputs");
    for (unsigned int row = 0; row < fann_length_train_data(test); ++row) {
      const fann_type* y = fann_run(ann, test->input[row]);
      for (unsigned int o = 0; o < fann_num_output_train_data(test); ++o) fprintf(outputs, "%.17g ", y[o]);
      fputc('\n', outputs);
    }
    fclose(outputs);
    fann_destroy_train(test);
  }
  printf("seconds %.9f\n", seconds);
  fann_destroy_train(train);
  free(weights);
  free(connections);
  fann_destroy(ann);
  return 0;
}
