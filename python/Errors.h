// The module's exceptions and the translation of the library's failures into
// them.
//
//   netforge.NetforgeError      a library TException; attributes message,
//                               kind and origin
//   netforge.FileFormatError    a network or data set file (or text) that is
//                               not acceptable; a NetforgeError and a
//                               ValueError, with message, file, line and
//                               column (None when not known)
//
// Argument misuse is reported with Python's own exceptions (ValueError,
// IndexError, TypeError) before the library is called, so that no call from
// Python ever reaches one of the library's consistency checks.
#ifndef NETFORGE_PYTHON_ERRORS_H
#define NETFORGE_PYTHON_ERRORS_H

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

#include "FileHandler/ParseTools.h"

namespace nfpy {

// A file-format error with the name of the file it was found in; thrown by
// binding code, raised in Python as netforge.FileFormatError.
struct FileFormatFailure {
  std::string message;
  std::string file;         // empty when the text came from no file
  std::int64_t line = 0;    // 0 when not known
  std::int64_t column = 0;  // 0 when not known
};

// The failure for |error|, found while reading |file| (empty: no file).
FileFormatFailure FromFileError(const FileTools::Error& error, const std::string& file);

// Raises the OSError (FileNotFoundError, PermissionError, ...) that errno
// describes for |path|, or a plain OSError with |message| when errno is 0.
[[noreturn]] void ThrowOSError(const std::string& path, const std::string& message);

// Throws the OSError of ThrowOSError unless |path| can be opened for reading,
// so that a missing or unreadable file is reported with the system's reason
// rather than as a format error. |what| names the file ("network file").
void CheckReadable(const std::string& path, const char* what);

// Adds the exception classes to |module| and registers the translators.
void BindErrors(pybind11::module_& module);

}  // namespace nfpy

#endif  // NETFORGE_PYTHON_ERRORS_H
