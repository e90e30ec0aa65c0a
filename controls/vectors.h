// Growable arrays of fixed-size elements held in one heap block, and the pointer vector built on
// them. The block's capacity is always a multiple of 4 elements; the slots past Count are kept
// zero. Every vector registers itself with the leak report (chckfree.h) while it is alive.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/classes.h"
#include "platform/core/sysutils.h"

// Raised as "Class <vector class>: <message>".
VX_DECLARE_EXCEPTION(EVectorError, Exception)
// Raised as "Class <stream class>: read after end error".
VX_DECLARE_EXCEPTION(EVStream, Exception)

class TVectorObject : public TObject {
 public:
  std::string ClassName() const override { return "TVectorObject"; }
};

class TVector : public TVectorObject {
 public:
  explicit TVector(Word AElementSize);
  ~TVector() override;
  std::string ClassName() const override { return "TVector"; }

  int Count() const { return GetCount(); }
  int Capacity() const { return FCapacity; }
  Word ElementSize() const { return FElementSize; }
  const void* Data() const { return FData; }

  virtual int GetCount() const { return FCount; }
  // Capacity := N rounded up to 4, then Count := N; new slots read zero.
  virtual void SetCount(int N);
  // Zeroes N units from the byte offset (bytes here; element slots in the pointer vector).
  virtual void ClearRange(int ByteOffset, int N);
  // Opens a gap of one element at Index (0..Count); the gap keeps its old bytes.
  virtual void InsertSpace(int Index);
  // Raises "wrong vector size (N)" below Count.
  virtual void SetCapacity(int N);
  // Count (32 bits), element size (16 bits), then the elements' bytes.
  virtual void SaveToStream(TStream* S);
  virtual void LoadFromStream(TStream* S);
  virtual void Assign(const TVector* Source);
  virtual bool Equals(const TVector* Other) const;
  virtual void Delete(int Index);
  virtual void DeleteRange(int Index, int N);
  virtual void Clear() { SetCount(0); }
  virtual int DataSize() const { return FElementSize * FCount + 10; }
  virtual void Pack() { SetCapacity(FCount); }

 protected:
  // Raises EVectorError "Class <ClassName>: <Msg>", formatted with Arg when Msg holds '%'.
  [[noreturn]] void Error(const std::string& Msg) const;
  [[noreturn]] void Error(const std::string& Msg, int64_t Arg) const;
  void ChangeCapacity(int N);
  uint8_t* ElementPtr(int Index) const { return FData + static_cast<size_t>(Index) * FElementSize; }

  uint8_t* FData = nullptr;
  int FCount = 0;
  int FCapacity = 0;
  Word FElementSize;
};

class TSortableVector : public TVector {
 public:
  using TVector::TVector;
  std::string ClassName() const override { return "TSortableVector"; }
  // Below 0 when the element at Index sorts before *Item, above 0 after it, 0 when equal.
  virtual int Compare(int Index, const void* Item) const = 0;
  virtual void Exchange(int I, int J) = 0;
  // Copies the element at Index to Item, unchecked.
  virtual void GetItem(int Index, void* Item) const = 0;
  virtual void SortAscending(int L, int R);
  virtual void SortDescending(int L, int R);

 private:
  void Sort(int L, int R, bool Ascending);
};

// A vector of 32-bit elements.
class TBase32Vector : public TSortableVector {
 public:
  TBase32Vector() : TSortableVector(4) {}
  std::string ClassName() const override { return "TBase32Vector"; }
  void GetItem(int Index, void* Item) const override;

 protected:
  explicit TBase32Vector(Word AElementSize) : TSortableVector(AElementSize) {}
};

// A vector of untyped pointers. Freeing it does not free what the pointers point to.
class TPointerVector : public TBase32Vector {
 public:
  TPointerVector() : TBase32Vector(sizeof(void*)) {}
  std::string ClassName() const override { return "TPointerVector"; }

  // The element at Index; raises "range check error (Index)" outside 0..Count-1.
  void* Items(int Index) const;
  // Appends Item and returns its index.
  int Add(void* Item);
  void Insert(int Index, void* Item);

  void ClearRange(int ByteOffset, int N) override;  // N pointer slots
  void SaveToStream(TStream* S) override;           // pointers are not streamed
  void LoadFromStream(TStream* S) override;
  void Assign(const TVector* Source) override;  // only from another pointer vector
  int Compare(int Index, const void* Item) const override;
  void Exchange(int I, int J) override;
  void GetItem(int Index, void* Item) const override;
  virtual TPointerVector* NewEmpty() const { return new TPointerVector(); }
  // Stores Item at Index, unchecked.
  virtual void PutItem(int Index, void* Item);
  // Every element becomes nullptr; Count stays.
  virtual void ClearAll() { ClearRange(0, FCount); }
  virtual void AppendVector(const TPointerVector* Source);
};
