// The one progress record of the process: the scan worker writes it, the window's timer reads it.
// The lock is held only to copy or update the record, never across file access or callbacks.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace pelcrow {

enum TScanEngineStatus : std::uint8_t { esScanning, esProcessing, esBuildingList, esStopping };

struct TScanEngineProgressInfo {
  std::string Path;
  std::int64_t Current = 0;
  std::int64_t Total = 0;
  std::int64_t Scanned = 0;
  TScanEngineStatus Status = esScanning;
};

extern TScanEngineProgressInfo ScanEngineProgress;
extern std::mutex ScanEngineLock;

}  // namespace pelcrow
