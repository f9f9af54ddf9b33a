#include "base/ItemString.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace pelcrow {

TItemString::TItemString(std::string_view s) {
  if (s.empty()) return;
  if (s.size() > UINT32_MAX - sizeof(TRep) - 1) throw std::length_error("TItemString: text too long");
  void* mem = ::operator new(sizeof(TRep) + s.size() + 1);
  fRep = static_cast<TRep*>(mem);
  new (&fRep->Refs) std::atomic<std::uint32_t>(1);
  fRep->Size = static_cast<std::uint32_t>(s.size());
  char* data = reinterpret_cast<char*>(fRep + 1);
  std::memcpy(data, s.data(), s.size());
  data[s.size()] = '\0';
}

TItemString& TItemString::operator=(const TItemString& o) noexcept {
  if (fRep != o.fRep) {
    o.AddRef();
    Release();
    fRep = o.fRep;
  }
  return *this;
}

TItemString& TItemString::operator=(TItemString&& o) noexcept {
  if (this != &o) {
    Release();
    fRep = o.fRep;
    o.fRep = nullptr;
  }
  return *this;
}

void TItemString::Release() noexcept {
  if (fRep && fRep->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    fRep->Refs.~atomic();
    ::operator delete(fRep);
  }
  fRep = nullptr;
}

std::string operator+(const TItemString& a, std::string_view b) {
  std::string r;
  r.reserve(a.size() + b.size());
  r.append(a.view()).append(b);
  return r;
}

std::string operator+(std::string_view a, const TItemString& b) {
  std::string r;
  r.reserve(a.size() + b.size());
  r.append(a).append(b.view());
  return r;
}

}  // namespace pelcrow
