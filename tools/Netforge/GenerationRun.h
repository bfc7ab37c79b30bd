// The generation run: builds the network that validated settings describe,
// gives its weights random initial values and writes it as a network file.
//
// The run owns everything it creates and releases it before it returns; the
// settings stay the caller's.
#ifndef NETFORGE_TOOL_GENERATIONRUN_H
#define NETFORGE_TOOL_GENERATIONRUN_H

#include "GenerationSettings.h"

// Runs the generation for |settings|, which ValidateSettings (ParameterFile.h)
// has accepted, and returns the exit status of the process: 0 on success, 1
// after a reported failure. The generator is seeded with the current time in
// seconds. Reported failures: a TException (message, kind and origin on
// standard error, one line each), a FileTools::Error (its message on standard
// output), and a network too large to build ("Network too large: ..." on
// standard error).
int RunGeneration(const GenerationSettings& settings);

#endif  // NETFORGE_TOOL_GENERATIONRUN_H
