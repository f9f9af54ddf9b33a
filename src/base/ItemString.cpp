#include "base/ItemString.h"

#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

namespace pelcrow {

namespace {

// A scan makes a text per file name, most of them short: those come from slabs of blocks of a few
// fixed sizes, without the allocator's header and rounding. A size's slabs go back to the system
// when its last text is freed.
constexpr std::size_t kGrain = 8;
constexpr std::size_t kSmallest = 16;
constexpr std::size_t kLargest = 72;
constexpr std::size_t kClasses = (kLargest - kSmallest) / kGrain + 1;
constexpr std::size_t kSlabBytes = 64 * 1024;

struct TBlockPool {
  std::mutex Lock;
  std::vector<char*> Slabs;
  void* Free = nullptr;  // blocks given back, linked through their first bytes
  char* Next = nullptr;  // the untouched rest of the newest slab
  char* End = nullptr;
  std::size_t Live = 0;
};

// Never destroyed: texts may be freed by other static objects' destructors at exit.
TBlockPool* Pools() {
  static TBlockPool* pools = new TBlockPool[kClasses];
  return pools;
}

std::size_t BlockSize(std::size_t bytes) {
  return bytes <= kSmallest ? kSmallest : (bytes + kGrain - 1) / kGrain * kGrain;
}

void* AllocateText(std::size_t bytes) {
  const std::size_t block = BlockSize(bytes);
  if (block > kLargest) return ::operator new(bytes);
  TBlockPool& pool = Pools()[(block - kSmallest) / kGrain];
  std::lock_guard<std::mutex> g(pool.Lock);
  void* p;
  if (pool.Free) {
    p = pool.Free;
    pool.Free = *static_cast<void**>(p);
  } else {
    if (static_cast<std::size_t>(pool.End - pool.Next) < block) {
      pool.Slabs.reserve(pool.Slabs.size() + 1);
      char* slab = static_cast<char*>(::operator new(kSlabBytes));
      pool.Slabs.push_back(slab);
      pool.Next = slab;
      pool.End = slab + kSlabBytes / block * block;
    }
    p = pool.Next;
    pool.Next += block;
  }
  ++pool.Live;
  return p;
}

void FreeText(void* p, std::size_t bytes) noexcept {
  const std::size_t block = BlockSize(bytes);
  if (block > kLargest) {
    ::operator delete(p);
    return;
  }
  TBlockPool& pool = Pools()[(block - kSmallest) / kGrain];
  std::lock_guard<std::mutex> g(pool.Lock);
  *static_cast<void**>(p) = pool.Free;
  pool.Free = p;
  if (--pool.Live == 0) {
    for (char* slab : pool.Slabs) ::operator delete(slab);
    pool.Slabs.clear();
    pool.Slabs.shrink_to_fit();
    pool.Free = nullptr;
    pool.Next = pool.End = nullptr;
  }
}

}  // namespace

TItemString::TItemString(std::string_view s) {
  if (s.empty()) return;
  if (s.size() > UINT32_MAX - sizeof(TRep) - 1) throw std::length_error("TItemString: text too long");
  void* mem = AllocateText(sizeof(TRep) + s.size() + 1);
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
    const std::size_t bytes = sizeof(TRep) + fRep->Size + 1;
    fRep->Refs.~atomic();
    FreeText(fRep, bytes);
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
