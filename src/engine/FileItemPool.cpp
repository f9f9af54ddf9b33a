// Items come from slabs of cells of their own size: no allocator header per item, no rounding,
// and a slab's items lie together. A free list takes cells back; when the last item is freed the
// slabs go back to the system, so a cleared result set gives its memory back.
#include <mutex>
#include <new>
#include <vector>

#include "engine/FileItem.h"

namespace pelcrow {

namespace {

constexpr std::size_t kAlign = alignof(TFileItem);
constexpr std::size_t kCell = (sizeof(TFileItem) + kAlign - 1) / kAlign * kAlign;
constexpr std::size_t kCellsPerSlab = 4096;

struct TItemPool {
  std::mutex Lock;
  std::vector<char*> Slabs;
  void* Free = nullptr;  // cells given back, linked through their first bytes
  char* Next = nullptr;  // the untouched rest of the newest slab
  char* End = nullptr;
  std::size_t Live = 0;
};

// Never destroyed: items may be freed by other static objects' destructors at exit.
TItemPool& Pool() {
  static TItemPool* pool = new TItemPool;
  return *pool;
}

}  // namespace

void* TFileItem::operator new(std::size_t Size) {
  if (Size != sizeof(TFileItem)) return ::operator new(Size);
  TItemPool& pool = Pool();
  std::lock_guard<std::mutex> g(pool.Lock);
  void* cell;
  if (pool.Free) {
    cell = pool.Free;
    pool.Free = *static_cast<void**>(cell);
  } else {
    if (pool.Next == pool.End) {
      pool.Slabs.reserve(pool.Slabs.size() + 1);
      char* slab = static_cast<char*>(::operator new(kCell * kCellsPerSlab, std::align_val_t(kAlign)));
      pool.Slabs.push_back(slab);
      pool.Next = slab;
      pool.End = slab + kCell * kCellsPerSlab;
    }
    cell = pool.Next;
    pool.Next += kCell;
  }
  ++pool.Live;
  return cell;
}

void TFileItem::operator delete(void* Cell, std::size_t Size) noexcept {
  if (!Cell) return;
  if (Size != sizeof(TFileItem)) {
    ::operator delete(Cell);
    return;
  }
  TItemPool& pool = Pool();
  std::lock_guard<std::mutex> g(pool.Lock);
  *static_cast<void**>(Cell) = pool.Free;
  pool.Free = Cell;
  if (--pool.Live == 0) {
    for (char* slab : pool.Slabs) ::operator delete(slab, std::align_val_t(kAlign));
    pool.Slabs.clear();
    pool.Slabs.shrink_to_fit();
    pool.Free = nullptr;
    pool.Next = pool.End = nullptr;
  }
}

}  // namespace pelcrow
