#include "Errors.h"

#include <cerrno>
#include <cstdio>
#include <exception>

#include "KQmessage/TException.h"

namespace py = pybind11;

namespace nfpy {
namespace {

// The classes live as long as the interpreter; they are created once, when
// the module is imported.
PyObject* netforgeError = nullptr;
PyObject* fileFormatError = nullptr;

py::object TextOrNone(const char* text) { return text != nullptr ? py::object(py::str(text)) : py::object(py::none()); }

py::object PositionOrNone(std::int64_t value) {
  return value > 0 ? py::object(py::int_(value)) : py::object(py::none());
}

// Raises an instance of |type| made from |text| with the given attributes.
void Raise(PyObject* type, const std::string& text, const py::dict& attributes) {
  py::object instance = py::reinterpret_borrow<py::object>(type)(text);
  for (auto item : attributes) instance.attr(item.first) = item.second;
  PyErr_SetObject(type, instance.ptr());
}

void RaiseLibraryError(const TException& exception) {
  py::dict attributes;
  attributes["message"] = TextOrNone(exception.message);
  attributes["kind"] = TextOrNone(exception.kind);
  attributes["origin"] = TextOrNone(exception.origin);
  Raise(netforgeError, exception.message != nullptr ? exception.message : "", attributes);
}

// "file:line:column: message", leaving out what is not known.
std::string Located(const FileFormatFailure& failure) {
  std::string text = failure.file;
  if (failure.line > 0) {
    text += (text.empty() ? "line " : ":") + std::to_string(failure.line);
    if (failure.column > 0) text += ":" + std::to_string(failure.column);
  }
  return text.empty() ? failure.message : text + ": " + failure.message;
}

void RaiseFileFormatError(const FileFormatFailure& failure) {
  py::dict attributes;
  attributes["message"] = failure.message;
  attributes["file"] = failure.file.empty() ? py::object(py::none()) : py::object(py::str(failure.file));
  attributes["line"] = PositionOrNone(failure.line);
  attributes["column"] = PositionOrNone(failure.column);
  attributes["kind"] = py::none();
  attributes["origin"] = py::none();
  Raise(fileFormatError, Located(failure), attributes);
}

void Translate(std::exception_ptr pending) {
  try {
    if (pending) std::rethrow_exception(pending);
  } catch (const TException& exception) {
    RaiseLibraryError(exception);
  } catch (const FileFormatFailure& failure) {
    RaiseFileFormatError(failure);
  } catch (const FileTools::Error& error) {
    RaiseFileFormatError(FromFileError(error, ""));
  }
}

const char* const kNetforgeErrorDoc =
    "A failure reported by the Netforge library.\n\n"
    "Attributes: message (the library's text), kind (the class of fault) and\n"
    "origin (the operation that raised it); kind and origin may be None.";

const char* const kFileFormatErrorDoc =
    "A network or data set file (or text) that is not acceptable.\n\n"
    "Attributes: message (the library's text), file (the file name, None for a\n"
    "text), line and column (counted from 1; None when not known).";

}  // namespace

FileFormatFailure FromFileError(const FileTools::Error& error, const std::string& file) {
  return FileFormatFailure{error.message, file, error.line, error.column};
}

void ThrowOSError(const std::string& path, const std::string& message) {
  if (errno != 0) {
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  } else {
    PyErr_SetString(PyExc_OSError, (message + ": " + path).c_str());
  }
  throw py::error_already_set();
}

void CheckReadable(const std::string& path, const char* what) {
  errno = 0;
  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (probe == nullptr) ThrowOSError(path, std::string("Cannot open the ") + what);
  std::fclose(probe);
}

void BindErrors(py::module_& module) {
  netforgeError = PyErr_NewExceptionWithDoc("netforge.NetforgeError", kNetforgeErrorDoc, PyExc_Exception, nullptr);
  py::object bases = py::make_tuple(py::handle(netforgeError), py::handle(PyExc_ValueError));
  fileFormatError = PyErr_NewExceptionWithDoc("netforge.FileFormatError", kFileFormatErrorDoc, bases.ptr(), nullptr);
  if (netforgeError == nullptr || fileFormatError == nullptr) throw py::error_already_set();
  module.add_object("NetforgeError", py::handle(netforgeError));
  module.add_object("FileFormatError", py::handle(fileFormatError));
  py::register_exception_translator(Translate);
}

}  // namespace nfpy
