// The parts of the netforge module, each adding its classes and functions
// to the module object (called once, from Module.cpp, in this order).
#ifndef NETFORGE_PYTHON_BINDINGS_H
#define NETFORGE_PYTHON_BINDINGS_H

#include <pybind11/pybind11.h>

namespace nfpy {

void BindErrors(pybind11::module_& module);    // Errors.cpp
void BindBlocks(pybind11::module_& module);    // BlockBindings.cpp
void BindNetworks(pybind11::module_& module);  // NetworkBindings.cpp
void BindDataSets(pybind11::module_& module);  // DataSetBindings.cpp
void BindTraining(pybind11::module_& module);  // TrainingBindings.cpp (after BindNetworks)

}  // namespace nfpy

#endif  // NETFORGE_PYTHON_BINDINGS_H
