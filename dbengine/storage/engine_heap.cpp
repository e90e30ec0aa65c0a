#include "dbengine/storage/engine_heap.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "dbengine/storage/engine_errors.h"

namespace {

// Each block carries its requested size in front so that a reallocation knows which tail to zero.
// The header is 16 bytes to keep the block aligned like malloc's.
struct alignas(16) THeader {
  size_t Size;
};
constexpr uint32_t kTrimEvery = 1020;
// No engine block comes near this; larger requests are corrupt sizes and fail like exhaustion
// without asking the system (some allocators abort instead of failing on absurd sizes).
constexpr uintmax_t kLargestBlock = uintmax_t(1) << 40;

std::atomic<uint32_t> gReleases{0};
// Bytes of engine blocks in use, and bytes released since the heap was last trimmed.
std::atomic<int64_t> gLiveBytes{0};
std::atomic<uint64_t> gReleasedBytes{0};
std::atomic<uint64_t> gTotalReleased{0};
std::atomic<uint32_t> gTrims{0};
constexpr size_t kSortingRequest = 64 << 10;
// Below this much released memory a trim is not worth its walk over the heap.
constexpr uint64_t kLeastTrim = uint64_t(1) << 20;

THeader* HeaderOf(const void* Block) {
  return reinterpret_cast<THeader*>(const_cast<char*>(static_cast<const char*>(Block)) - sizeof(THeader));
}

void CountRelease(size_t Bytes) {
  gReleasedBytes.fetch_add(Bytes, std::memory_order_relaxed);
  gTotalReleased.fetch_add(Bytes, std::memory_order_relaxed);
  // A lost increment between threads only shifts the next trim.
  if (gReleases.fetch_add(1, std::memory_order_relaxed) + 1 >= kTrimEvery) {
    gReleases.store(0, std::memory_order_relaxed);
    // A trim walks the whole heap: it runs only once the memory released since the last one is at
    // least as much as is still in use, so that freeing a big cache (a million records after a
    // transaction) costs time in proportion to what it frees, not to its square.
    const uint64_t Released = gReleasedBytes.load(std::memory_order_relaxed);
    const int64_t Live = gLiveBytes.load(std::memory_order_relaxed);
    if (Released >= kLeastTrim && Released >= static_cast<uint64_t>(std::max<int64_t>(Live, 0))) {
      gReleasedBytes.store(0, std::memory_order_relaxed);
      gTrims.fetch_add(1, std::memory_order_relaxed);
      malloc_trim(0);
    }
  }
}

}  // namespace

void* EngineAlloc(intptr_t Size) {
  if (Size < 1) return nullptr;
  if (static_cast<uintmax_t>(Size) > kLargestBlock) RaiseEngineError(ecNoMemory);
  void* Raw = calloc(1, sizeof(THeader) + static_cast<size_t>(Size));
  if (!Raw) RaiseEngineError(ecNoMemory);
  THeader* H = static_cast<THeader*>(Raw);
  H->Size = static_cast<size_t>(Size);
  gLiveBytes.fetch_add(Size, std::memory_order_relaxed);
  return H + 1;
}

void* EngineRealloc(void* Block, intptr_t Size) {
  if (!Block) return EngineAlloc(Size);
  if (Size < 1) {
    EngineFreeBlock(Block);
    return nullptr;
  }
  if (static_cast<uintmax_t>(Size) > kLargestBlock) RaiseEngineError(ecNoMemory);
  THeader* H = HeaderOf(Block);
  size_t Old = H->Size;
  void* Raw = realloc(H, sizeof(THeader) + static_cast<size_t>(Size));
  if (!Raw) RaiseEngineError(ecNoMemory);
  H = static_cast<THeader*>(Raw);
  if (static_cast<size_t>(Size) > Old) memset(reinterpret_cast<char*>(H + 1) + Old, 0, static_cast<size_t>(Size) - Old);
  H->Size = static_cast<size_t>(Size);
  gLiveBytes.fetch_add(static_cast<int64_t>(Size) - static_cast<int64_t>(Old), std::memory_order_relaxed);
  CountRelease(Old);
  return H + 1;
}

void EngineFreeBlock(void* Block) {
  if (!Block) return;
  THeader* H = HeaderOf(Block);
  const size_t Size = H->Size;
  free(H);
  gLiveBytes.fetch_sub(static_cast<int64_t>(Size), std::memory_order_relaxed);
  CountRelease(Size);
}

size_t EngineBlockSize(const void* Block) { return Block ? HeaderOf(Block)->Size : 0; }

uint32_t EngineReleaseCount() { return gReleases.load(std::memory_order_relaxed); }

uint32_t EngineHeapTrims() { return gTrims.load(std::memory_order_relaxed); }

uint64_t EngineReleasedBytes() { return gTotalReleased.load(std::memory_order_relaxed); }

void EngineHeapSettle(uint64_t Since) {
  if (EngineReleasedBytes() - Since < kLeastTrim) return;
  gReleasedBytes.store(0, std::memory_order_relaxed);
  gReleases.store(0, std::memory_order_relaxed);
  gTrims.fetch_add(1, std::memory_order_relaxed);
  malloc_trim(0);
  // The trim merges the freed blocks but leaves them unsorted; the allocator sorts them into its
  // bins at the first request it cannot answer from a bin of its exact size, which would be the
  // next statement's first larger block. A request of that kind (below the size the allocator
  // maps on its own) makes it sort them here, in the commit that freed them.
  void* volatile Request = malloc(kSortingRequest);
  free(Request);
}

void ReserveBuffer(intptr_t Needed, intptr_t BlockSize, void*& Buffer, intptr_t& Capacity) {
  if (Needed >= 1) {
    intptr_t Rounded = Needed;
    if (BlockSize > 1 && Needed % BlockSize != 0) Rounded = (Needed / BlockSize + 1) * BlockSize;
    if (Rounded > Capacity) {
      Buffer = Capacity > 0 && Buffer ? EngineRealloc(Buffer, Rounded) : EngineAlloc(Rounded);
      Capacity = Rounded;
    }
  } else if (Capacity > 0) {
    EngineFreeBlock(Buffer);
    Buffer = nullptr;
    Capacity = 0;
  }
}
