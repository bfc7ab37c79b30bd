// The DataSet class and load_dataset(): data sets between NumPy arrays and
// data set files.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "Bindings.h"
#include "DataObject/Data.h"
#include "Errors.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "PyDataSet.h"

namespace py = pybind11;

namespace nfpy {
namespace {

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// A label name must come back from a data set file as it was written: one
// word of visible ASCII without the file syntax's blanks and special
// characters, not starting like an end tag.
void CheckLabelName(const std::string& name) {
  bool plain = !name.empty() && name[0] != '~';
  for (unsigned char c : name) plain = plain && c > 0x20 && c < 0x7F && std::strchr(",[]/*=<>", c) == nullptr;
  if (!plain) {
    throw py::value_error("label name \"" + name +
                          "\" is not one word of visible ASCII characters without , [ ] / * = < > (or a leading ~)");
  }
}

// One row's labels: a mapping name -> value, or a sequence of names (value
// 1.0 each; a repeated name adds up, as in a file).
TLabelList LabelsOf(const py::handle& row) {
  TLabelList list;
  if (py::isinstance<py::dict>(row)) {
    for (auto item : row.cast<py::dict>()) {
      const auto name = item.first.cast<std::string>();
      CheckLabelName(name);
      list.Append(name.c_str(), item.second.cast<double>());
    }
    return list;
  }
  if (py::isinstance<py::str>(row) || !py::isinstance<py::sequence>(row)) {
    throw py::type_error("each row's labels must be a dict of name: value or a list of names");
  }
  for (auto item : row.cast<py::sequence>()) {
    const auto name = item.cast<std::string>();
    CheckLabelName(name);
    list.Append(name.c_str(), 1.0);
  }
  return list;
}

long CheckedMatrix(const DoubleArray& values, const char* what) {
  if (values.ndim() != 2) throw py::value_error(std::string(what) + " must be a 2-D array (rows, columns)");
  return static_cast<long>(values.shape(1));
}

PyDataSet Make(DoubleArray inputs, std::optional<DoubleArray> outputs, std::optional<py::sequence> labels) {
  const long inputCount = CheckedMatrix(inputs, "inputs");
  const long rows = static_cast<long>(inputs.shape(0));
  const long outputCount = outputs ? CheckedMatrix(*outputs, "outputs") : 0;
  if (outputs && outputs->shape(0) != rows) throw py::value_error("outputs must have as many rows as inputs");
  if (labels && static_cast<long>(labels->size()) != rows) {
    throw py::value_error("labels must hold one entry per row of inputs");
  }
  auto data = std::make_unique<Data>(rows, inputCount, outputCount, labels.has_value());
  for (long r = 0; r < rows; ++r) {
    const TLabelList list = labels ? LabelsOf((*labels)[static_cast<std::size_t>(r)]) : TLabelList();
    data->AppendRow(inputs.data() + r * inputCount, outputs ? outputs->data() + r * outputCount : nullptr, &list);
  }
  return PyDataSet{std::move(data)};
}

py::array_t<double> Columns(double** rows, std::int32_t count, std::int32_t width) {
  py::array_t<double> result({py::ssize_t{count}, py::ssize_t{width}});
  double* out = result.mutable_data();
  for (std::int32_t r = 0; r < count && width > 0; ++r) {
    std::memcpy(out + static_cast<std::size_t>(r) * width, rows[r], static_cast<std::size_t>(width) * sizeof(double));
  }
  return result;
}

py::object Labels(PyDataSet& self) {
  Data& data = *self.data;
  if (!data.MbrBoolLabels) return py::none();
  py::list rows;
  for (std::int32_t r = 0; r < data.MbrNdxRows; ++r) {
    py::dict labels;
    const TLabelList& list = data.MbrDyaLabels[r];
    for (std::int32_t i = 0; i < list.count; ++i) labels[py::str(list.labels[i].name)] = list.labels[i].value;
    rows.append(labels);
  }
  return rows;
}

// The file keeps labels in place of a set's second group of columns
// (expected outputs of the data, generated outputs of the results).
void CheckWritable(const Data& data, bool results) {
  const std::int32_t replaced = results ? data.MbrNdxInputs : data.MbrNdxOutputs;
  if (data.MbrBoolLabels && replaced != 0) {
    throw py::value_error(results ? "results with labels cannot have inputs (generated outputs) in a data set file"
                                  : "a data set with labels cannot have outputs in a data set file");
  }
}

void Save(PyDataSet& self, const std::filesystem::path& file, const PyDataSet* results) {
  const std::string path = file.string();
  CheckWritable(*self.data, false);
  if (results != nullptr) {
    CheckWritable(*results->data, true);
    if (results->data->MbrNdxRows != self.data->MbrNdxRows) {
      throw py::value_error("results must have as many rows as the data set");
    }
  }
  FileTools tools;
  errno = 0;
  const int status =
      tools.WriteDataSet(path.c_str(), self.data.get(), results ? results->data.get() : nullptr, nullptr);
  if (status != SUCCESS) ThrowOSError(path, "Cannot write the data set file");
}

[[noreturn]] void ThrowFormat(const std::string& path, const char* message) {
  throw FileFormatFailure{message, path, 0, 0};
}

py::object Load(const std::filesystem::path& file, bool withResults) {
  const std::string path = file.string();
  CheckReadable(path, "data set file");
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  int status = SUCCESS;
  try {
    status = tools.ReadDataSet(path.c_str(), &first, &second, nullptr);
  } catch (const FileTools::Error& error) {
    delete first;
    delete second;
    throw FromFileError(error, path);
  }
  std::unique_ptr<Data> data(first);
  std::unique_ptr<Data> results(second);
  if (status == FILE_OPEN_FAILED) ThrowOSError(path, "Cannot open the data set file");
  if (status != SUCCESS) ThrowFormat(path, "Data set header not acceptable");
  // A file of results alone still has rows: an empty data set of as many.
  if (!data) data = std::make_unique<Data>(results ? results->MbrNdxRows : 0, 0, 0, false);
  py::object set = py::cast(PyDataSet{std::move(data)});
  if (!withResults) return set;
  py::object extra = results ? py::cast(PyDataSet{std::move(results)}) : py::object(py::none());
  return py::make_tuple(set, extra);
}

std::string Repr(PyDataSet& self) {
  const Data& data = *self.data;
  return "<netforge.DataSet " + std::to_string(data.MbrNdxRows) + " rows, " + std::to_string(data.MbrNdxInputs) +
         " inputs, " + std::to_string(data.MbrNdxOutputs) + " outputs" + (data.MbrBoolLabels ? ", labels>" : ">");
}

}  // namespace

void BindDataSets(py::module_& module) {
  py::class_<PyDataSet>(module, "DataSet",
                        "A data set: rows of input values with output values and/or labels.\n\n"
                        "DataSet(inputs, outputs=None, labels=None) copies a (rows, n) array of\n"
                        "inputs, an optional (rows, m) array of outputs and optional labels, one\n"
                        "entry per row: a dict of name: value or a list of names (value 1.0).\n"
                        "In a data set file labels stand in place of the outputs, so a set\n"
                        "that is saved keeps one or the other.")
      .def(py::init(&Make), py::arg("inputs"), py::arg("outputs") = py::none(), py::arg("labels") = py::none())
      .def_property_readonly("num_rows", [](PyDataSet& self) { return self.data->MbrNdxRows; })
      .def_property_readonly("num_inputs", [](PyDataSet& self) { return self.data->MbrNdxInputs; })
      .def_property_readonly("num_outputs", [](PyDataSet& self) { return self.data->MbrNdxOutputs; })
      .def_property_readonly("has_labels", [](PyDataSet& self) { return self.data->MbrBoolLabels; })
      .def("__len__", [](PyDataSet& self) { return self.data->MbrNdxRows; })
      .def_property_readonly(
          "inputs",
          [](PyDataSet& self) {
            return Columns(self.data->MbrDyaRtpInputs, self.data->MbrNdxRows, self.data->MbrNdxInputs);
          },
          "The input values, a float64 array (rows, num_inputs) (a copy).")
      .def_property_readonly(
          "outputs",
          [](PyDataSet& self) {
            return Columns(self.data->MbrDyaRtpOutputs, self.data->MbrNdxRows, self.data->MbrNdxOutputs);
          },
          "The output values, a float64 array (rows, num_outputs) (a copy).")
      .def_property_readonly("labels", &Labels, "One dict of name: value per row, or None without labels.")
      .def("save", &Save, py::arg("path"), py::arg("results") = nullptr,
           "Writes the data set file |path|, with a second data set of results (its\n"
           "inputs are the generated outputs, its outputs the errors) when given.\n"
           "OSError when the file cannot be written.")
      .def("__repr__", &Repr);

  module.def("load_dataset", &Load, py::arg("path"), py::arg("with_results") = false,
             "Reads a data set file. Gives its DataSet, or with with_results=True a pair\n"
             "(data set, results or None) where results holds the file's generated\n"
             "outputs (as inputs) and errors (as outputs). OSError when the file cannot\n"
             "be opened, FileFormatError (file, line, column) when it is not acceptable.");
}

}  // namespace nfpy
