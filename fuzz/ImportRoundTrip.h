// The property every importer must keep: a data set it made, written as a
// data set file with exact numbers and read back, gives the very same bits.
// Aborts (a finding) when it does not.
#ifndef NETFORGE_FUZZ_IMPORTROUNDTRIP_H
#define NETFORGE_FUZZ_IMPORTROUNDTRIP_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "FuzzTempFile.h"
#include "KQmessage/KQML.h"

inline void CheckSameValues(const double* written, const double* read, long count) {
  if (count > 0 && std::memcmp(written, read, sizeof(double) * static_cast<std::size_t>(count)) != 0) {
    std::fprintf(stderr, "imported values changed on their way through a data set file\n");
    std::abort();
  }
}

inline void CheckRoundTrip(Data& imported) {
  const std::string name = FuzzTempName(1);
  FileTools tools;
  auto options = std::make_unique<TKQstructure>("options");
  options->Set("numbers", "exact");
  if (tools.WriteDataSet(name.c_str(), &imported, nullptr, options.release()) != SUCCESS) std::abort();
  Data* read = nullptr;
  if (tools.ReadDataSet(name.c_str(), &read) != SUCCESS || read == nullptr) std::abort();
  std::unique_ptr<Data> back(read);
  if (back->MbrNdxDataRows != imported.MbrNdxDataRows || back->MbrNdxInputs != imported.MbrNdxInputs ||
      back->MbrNdxOutputs != imported.MbrNdxOutputs) {
    std::abort();
  }
  for (long row = 0; row < imported.MbrNdxRows; ++row) {
    if (imported.MbrNdxInputs > 0) {
      CheckSameValues(imported.MbrDyaRtpInputs[row], back->MbrDyaRtpInputs[row], imported.MbrNdxInputs);
    }
    if (imported.MbrNdxOutputs > 0) {
      CheckSameValues(imported.MbrDyaRtpOutputs[row], back->MbrDyaRtpOutputs[row], imported.MbrNdxOutputs);
    }
  }
}

#endif  // NETFORGE_FUZZ_IMPORTROUNDTRIP_H
