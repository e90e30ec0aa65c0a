#include "dbengine/storage/records_bitmap.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr intptr_t kBitmapBlock = 1024;

struct TRecordsBitmapStack {
  std::mutex Lock;
  std::vector<TRecordsBitmap*> Free;
  TRecordsBitmapStack() { Free.reserve(512); }
  ~TRecordsBitmapStack() {
    for (TRecordsBitmap* B : Free) delete B;
  }
};

TRecordsBitmapStack& Pool() {
  static TRecordsBitmapStack P;
  return P;
}

}  // namespace

TRecordsBitmap::~TRecordsBitmap() { EngineFree(Words); }

void TRecordsBitmap::SetRecordCount(int32_t N) {
  if (N == RecordCount) return;
  if (N < 0) N = 0;
  RecordCount = N;
  BitCount = static_cast<int32_t>((static_cast<int64_t>(N) + 31) / 32 * 32);
  ReserveBuffer(BitCount / 8, kBitmapBlock, Words, Capacity);
  WordCount = BitCount / 32;
}

// Counting runs over the whole bitmap on every rebuild of a visible set; with the processor's own
// population count (chosen at run time where the processor has one) it is several times faster.
// Clang emits the clones under a name that calls from other files do not link against, so it
// keeps the portable version.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VX_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define VX_POPCOUNT_CLONES
#endif

VX_POPCOUNT_CLONES int32_t TRecordsBitmap::CountSet() const {
  // Whole words without a test per word (the loop vectorises), then the records 1..N of the last.
  const int32_t Last = std::min(RecordCount, WordCount * 32);
  if (Last < 1) return 0;
  const int32_t Full = Last / 32;
  int32_t Count = 0;
  for (int32_t I = 0; I < Full; ++I) Count += __builtin_popcount(Words[I]);
  const int32_t Rest = Last % 32;
  if (Rest) Count += __builtin_popcount(Words[Full] & ((1u << Rest) - 1u));
  return Count;
}

VX_POPCOUNT_CLONES int32_t TRecordsBitmap::CountSetBefore(int32_t N) const {
  // Records 1..N-1, never beyond the words that exist.
  int32_t Last = std::min(N - 1, WordCount * 32);
  if (Last < 1) return 0;
  int32_t Full = Last / 32;
  int32_t Count = 0;
  for (int32_t I = 0; I < Full; ++I)
    if (Words[I]) Count += __builtin_popcount(Words[I]);
  int32_t Rest = Last % 32;
  if (Rest) Count += __builtin_popcount(Words[Full] & ((1u << Rest) - 1u));
  return Count;
}

bool TRecordsBitmap::FindNext(int32_t& N, int32_t K, int32_t& Position) const {
  int32_t Hits = 0;
  int32_t R = N < 0 ? 1 : N + 1;
  const int32_t Limit = std::min(RecordCount, WordCount * 32);
  while (R <= Limit) {
    uint32_t W = Words[(R - 1) >> 5];
    if (W == 0 || (W >> ((R - 1) & 31)) == 0) {
      R = ((R - 1) | 31) + 2;  // first record of the next word
      continue;
    }
    if ((W >> ((R - 1) & 31)) & 1u) {
      N = R;
      ++Position;
      if (++Hits == K) return true;
    }
    ++R;
  }
  return false;
}

bool TRecordsBitmap::FindPrior(int32_t& N, int32_t K, int32_t& Position) const {
  int32_t Hits = 0;
  int32_t R = std::min(N - 1, std::min(RecordCount, WordCount * 32));
  while (R >= 1) {
    uint32_t W = Words[(R - 1) >> 5];
    int32_t Bit = (R - 1) & 31;
    uint32_t Below = Bit == 31 ? W : (W & ((2u << Bit) - 1u));
    if (Below == 0) {
      R = (R - 1) - Bit;  // last record of the previous word
      continue;
    }
    if ((W >> Bit) & 1u) {
      N = R;
      --Position;
      if (++Hits == K) return true;
    }
    --R;
  }
  return false;
}

void TRecordsBitmap::AndWith(const TRecordsBitmap& Other) {
  int32_t Common = std::min(WordCount, Other.WordCount);
  for (int32_t I = 0; I < Common; ++I) Words[I] &= Other.Words[I];
  // Words the other bitmap lacks count as empty.
  for (int32_t I = Common; I < WordCount; ++I) Words[I] = 0;
}

void TRecordsBitmap::OrWith(const TRecordsBitmap& Other) {
  int32_t Common = std::min(WordCount, Other.WordCount);
  for (int32_t I = 0; I < Common; ++I) Words[I] |= Other.Words[I];
}

void TRecordsBitmap::Invert() {
  for (int32_t I = 0; I < WordCount; ++I) Words[I] = ~Words[I];
}

void TRecordsBitmap::ClearAll() {
  if (Words) memset(Words, 0, static_cast<size_t>(Capacity));
}

void TRecordsBitmap::SetAll() {
  if (Words) memset(Words, 0xFF, static_cast<size_t>(Capacity));
}

void TRecordsBitmap::CopyFrom(const TRecordsBitmap& Other) {
  if (&Other == this) return;
  ReserveBuffer(Other.Capacity, kBitmapBlock, Words, Capacity);
  RecordCount = Other.RecordCount;
  BitCount = Other.BitCount;
  WordCount = Other.WordCount;
  if (Other.Capacity > 0) memcpy(Words, Other.Words, static_cast<size_t>(Other.Capacity));
}

TRecordsBitmap* GetRecordsBitmap() {
  TRecordsBitmapStack& P = Pool();
  {
    std::lock_guard<std::mutex> G(P.Lock);
    if (!P.Free.empty()) {
      TRecordsBitmap* B = P.Free.back();
      P.Free.pop_back();
      B->ClearAll();
      return B;
    }
  }
  return new TRecordsBitmap;
}

void PutRecordsBitmap(TRecordsBitmap*& Bitmap) {
  if (!Bitmap) return;
  TRecordsBitmapStack& P = Pool();
  std::lock_guard<std::mutex> G(P.Lock);
  P.Free.push_back(Bitmap);
  Bitmap = nullptr;
}

int PooledRecordsBitmaps() {
  TRecordsBitmapStack& P = Pool();
  std::lock_guard<std::mutex> G(P.Lock);
  return static_cast<int>(P.Free.size());
}
