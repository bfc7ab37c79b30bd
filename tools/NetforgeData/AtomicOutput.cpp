#include "AtomicOutput.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <system_error>

#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "ToolSupport/ReplacedFile.h"

namespace {

namespace fs = std::filesystem;

std::string Reason(int status) {
  return status == INVALID_DATA_SET ? "not a data set that can be written" : "cannot write the file";
}

// Refuses, before anything is written, outputs that cannot work out.
void CheckOutputs(const std::vector<OutputFile>& outputs) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const std::string& path = outputs[i].path;
    if (path.empty()) throw OutputError("an output file name is empty");
    std::error_code ignored;
    if (fs::is_directory(path, ignored)) throw OutputError(path + ": is a folder");
    for (std::size_t k = 0; k < i; ++k) {
      if (fs::path(outputs[k].path).lexically_normal() == fs::path(path).lexically_normal()) {
        throw OutputError(path + ": named as two outputs");
      }
    }
  }
}

}  // namespace

void WriteDataSetFiles(const std::vector<OutputFile>& outputs) {
  CheckOutputs(outputs);
  // Each file is written to its temporary file; those not yet committed
  // are removed when |files| goes, whatever is thrown.
  std::vector<std::unique_ptr<ReplacedFile>> files;
  FileTools tools;
  for (const OutputFile& output : outputs) {
    files.push_back(std::make_unique<ReplacedFile>(output.path));
    // Written in place, a failure would clobber it: refused instead.
    if (files.back()->Error()) throw OutputError(output.path + ": " + Reason(FILE_WRITE_FAILED));
    auto options = std::make_unique<TKQstructure>("options");
    options->Set("numbers", "exact");
    const int status = tools.WriteDataSet(files.back()->WritePath().c_str(), output.data, nullptr, options.release());
    if (status != SUCCESS) throw OutputError(output.path + ": " + Reason(status));
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (!files[i]->Commit()) {
      throw OutputError(outputs[i].path + ": cannot put the file in place: " + files[i]->Error().message());
    }
  }
}
