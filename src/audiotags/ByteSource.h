// Where the tag readers get their bytes from: a file, or memory (tests, the fuzzer). Readers ask for
// small pieces at known offsets, so the file source keeps one aligned window of the file and serves
// neighbouring requests from it instead of issuing a read for every ten-byte header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pelcrow {

class IByteSource {
 public:
  virtual ~IByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Copies up to `count` bytes from `offset`; fewer only at the end of the data. Throws
  // std::runtime_error when the data cannot be read.
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

class TMemoryByteSource final : public IByteSource {
 public:
  TMemoryByteSource(const void* data, std::size_t size) : fData(static_cast<const std::uint8_t*>(data)), fSize(size) {}
  std::uint64_t Size() const override { return fSize; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  const std::uint8_t* fData;
  std::size_t fSize;
};

class TFileByteSource final : public IByteSource {
 public:
  TFileByteSource() = default;
  TFileByteSource(const TFileByteSource&) = delete;
  TFileByteSource& operator=(const TFileByteSource&) = delete;
  ~TFileByteSource() override { Close(); }

  // Opens a regular file for reading. Returns 0 or an errno value.
  int Open(const std::string& path);
  void Close();
  std::uint64_t Size() const override { return fSize; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::size_t ReadDirect(std::uint64_t offset, void* buffer, std::size_t count);

  std::FILE* fFile = nullptr;
  std::string fPath;
  std::uint64_t fSize = 0;
  std::vector<std::uint8_t> fWindow;
  std::uint64_t fWindowStart = 0;
};

}  // namespace pelcrow
