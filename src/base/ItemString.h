// Immutable, shared text for result items. A scan creates millions of items whose folder text is
// the same for every file of a folder; copies share one buffer, and an empty text costs no memory
// beyond the 8-byte handle. Holds bytes: a file name need not be valid UTF-8.
#pragma once

#include <atomic>
#include <compare>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace pelcrow {

class TItemString {
 public:
  TItemString() noexcept = default;
  TItemString(std::string_view s);  // NOLINT(google-explicit-constructor): used like a string
  TItemString(const std::string& s) : TItemString(std::string_view(s)) {}  // NOLINT
  TItemString(const char* s) : TItemString(std::string_view(s)) {}         // NOLINT
  TItemString(const TItemString& o) noexcept : fRep(o.fRep) { AddRef(); }
  TItemString(TItemString&& o) noexcept : fRep(o.fRep) { o.fRep = nullptr; }
  TItemString& operator=(const TItemString& o) noexcept;
  TItemString& operator=(TItemString&& o) noexcept;
  ~TItemString() { Release(); }

  std::string_view view() const noexcept {
    return fRep ? std::string_view(Data(), fRep->Size) : std::string_view();
  }
  operator std::string_view() const noexcept { return view(); }  // NOLINT
  std::string str() const { return std::string(view()); }
  const char* c_str() const noexcept { return fRep ? Data() : ""; }
  std::size_t size() const noexcept { return fRep ? fRep->Size : 0; }
  bool empty() const noexcept { return fRep == nullptr; }
  bool SharesBufferWith(const TItemString& o) const noexcept { return fRep == o.fRep; }

  friend bool operator==(const TItemString& a, const TItemString& b) noexcept {
    return a.fRep == b.fRep || a.view() == b.view();
  }
  friend bool operator==(const TItemString& a, std::string_view b) noexcept { return a.view() == b; }
  friend bool operator==(const TItemString& a, const char* b) noexcept { return a.view() == b; }
  friend std::strong_ordering operator<=>(const TItemString& a, const TItemString& b) noexcept {
    return a.view() <=> b.view();
  }
  friend std::ostream& operator<<(std::ostream& os, const TItemString& s) { return os << s.view(); }

 private:
  struct TRep {
    std::atomic<std::uint32_t> Refs;
    std::uint32_t Size;
  };
  const char* Data() const noexcept { return reinterpret_cast<const char*>(fRep + 1); }
  void AddRef() const noexcept {
    if (fRep) fRep->Refs.fetch_add(1, std::memory_order_relaxed);
  }
  void Release() noexcept;

  TRep* fRep = nullptr;
};

std::string operator+(const TItemString& a, std::string_view b);
std::string operator+(std::string_view a, const TItemString& b);

}  // namespace pelcrow
