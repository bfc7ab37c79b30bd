#include "AtomicOutput.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <system_error>

#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"

namespace {

namespace fs = std::filesystem;

// A name beside |path| that no file has yet: ".NAME.tmp-<n>" in its folder.
std::string TemporaryName(const std::string& path, std::size_t index) {
  const fs::path target(path);
  const auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (unsigned long long attempt = 0;; ++attempt) {
    std::string name = ".";
    name += target.filename().string();
    name += ".tmp-";
    name += std::to_string(stamp + attempt);
    name += '-';
    name += std::to_string(index);
    fs::path candidate = target;
    candidate.replace_filename(name);
    std::error_code ignored;
    if (!fs::exists(candidate, ignored)) return candidate.string();
  }
}

void RemoveAll(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    std::error_code ignored;
    fs::remove(name, ignored);
  }
}

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
  std::vector<std::string> written;
  FileTools tools;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    written.push_back(TemporaryName(outputs[i].path, i));
    auto options = std::make_unique<TKQstructure>("options");
    options->Set("numbers", "exact");
    const int status = tools.WriteDataSet(written.back().c_str(), outputs[i].data, nullptr, options.release());
    if (status != SUCCESS) {
      RemoveAll(written);
      throw OutputError(outputs[i].path + ": " + Reason(status));
    }
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    std::error_code error;
    fs::rename(written[i], outputs[i].path, error);
    if (error) {
      RemoveAll(std::vector<std::string>(written.begin() + static_cast<std::ptrdiff_t>(i), written.end()));
      throw OutputError(outputs[i].path + ": cannot put the file in place: " + error.message());
    }
  }
}
