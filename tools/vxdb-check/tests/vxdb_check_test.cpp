// The check tool run as a program on a damaged copy of a small database: each kind of damage is
// found (exit status 1), and --repair makes the indexes anew so that every order reads as before.
#include <fstream>
#include <iterator>

#include "dbengine/storage/tests/data_cursor_test_util.h"

using namespace cursortest;

namespace {

class CheckToolTest : public CursorTest {
 protected:
  std::string Bytes(const std::string& F) {
    std::ifstream In(Path + F, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
  }
  void Put(const std::string& F, const std::string& B) { std::ofstream(Path + F, std::ios::binary | std::ios::trunc) << B; }
  int Run(const std::string& Args, std::string& Out) {
    // Beside the database directory, which the tool lists.
    const std::string Listing = Path.substr(0, Path.size() - 1) + ".out";
    const std::string Cmd = std::string(VXDB_CHECK_EXE) + " " + Args + " >" + Listing + " 2>&1";
    int Rc = system(Cmd.c_str());
    Out = [&] {
      std::ifstream In(Listing);
      return std::string(std::istreambuf_iterator<char>(In), {});
    }();
    std::filesystem::remove(Listing);
    return WIFEXITED(Rc) ? WEXITSTATUS(Rc) : -1;
  }
  // The rows of people in the order of each index: what queries answer.
  std::vector<std::string> Orders() {
    std::vector<std::string> R;
    for (const char* Index : {"", "BYNAME"}) {
      TDataCursor* C = OpenPeople();
      C->SetIndexName(Index);
      TBuffer B(C->RecordBufferSize);
      C->MoveToBegin();
      std::string S;
      while (C->GetNextRecord(B.data()) == 0) S += std::to_string(IntOf(C, 1, B.data())) + NameOf(C, B.data()) + ",";
      R.push_back(S);
      C->Close();
    }
    return R;
  }
};

TEST_F(CheckToolTest, EachKindOfDamageIsFoundAndIndexesAreMadeAnew) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  Dir->StartTransaction();
  for (int I = 0; I < 600; ++I) Insert(C, "n" + std::to_string(I * 7919 % 600), I);
  Dir->Commit();
  const std::string HalfIdx = Bytes("people.IDX");
  Dir->StartTransaction();
  for (int I = 600; I < 1200; ++I) Insert(C, "n" + std::to_string(I * 7919 % 1200), I);
  Dir->Commit();
  C->Close();
  const std::vector<std::string> Before = Orders();
  const std::string Dat = Bytes("people.DAT"), Idx = Bytes("people.IDX");
  std::string Out;
  ASSERT_EQ(Run(Path, Out), 0) << Out;
  EXPECT_NE(Out.find("people: sound, 1200 records"), std::string::npos) << Out;

  struct TCase {
    const char* What;
    std::function<void(std::string& Dat, std::string& Idx)> Damage;
    bool Mendable;
  };
  const TCase Cases[] = {
      {"truncated index file", [](std::string&, std::string& I) { I.resize(I.size() / 2); }, true},
      {"flipped bits in the index header", [](std::string&, std::string& I) { I[10] ^= 0x24; }, true},
      {"zeroed index page", [](std::string&, std::string& I) { std::fill(I.begin() + 8192, I.begin() + 12288, '\0'); }, true},
      {"torn tree: a page from before the last commit",
       [&](std::string&, std::string& I) {
         // The first page the last commit changed gets its older contents back.
         for (size_t P = 4096; P + 4096 <= HalfIdx.size(); P += 4096)
           if (HalfIdx.compare(P, 4096, I, P, 4096) != 0) {
             std::copy(HalfIdx.begin() + static_cast<long>(P), HalfIdx.begin() + static_cast<long>(P + 4096),
                       I.begin() + static_cast<long>(P));
             return;
           }
       },
       true},
      {"index file missing", [](std::string&, std::string& I) { I.clear(); }, false},
      {"zeroed records", [](std::string& D, std::string&) { std::fill(D.end() - 3000, D.end() - 1000, '\0'); }, false},
      {"truncated data file", [](std::string& D, std::string&) { D.resize(D.size() - 500); }, false},
      {"flipped bits in the data header", [](std::string& D, std::string&) { D[21] ^= 0x11; }, false},
  };
  for (const TCase& K : Cases) {
    SCOPED_TRACE(K.What);
    std::string D = Dat, I = Idx;
    K.Damage(D, I);
    Put("people.DAT", D);
    if (I.empty()) {
      std::filesystem::remove(Path + "people.IDX");
    } else {
      Put("people.IDX", I);
    }
    EXPECT_EQ(Run(Path + " people", Out), I.empty() ? 0 : 1) << Out;
    if (!I.empty()) {
      EXPECT_NE(Out.find("people: damaged: "), std::string::npos) << Out;
    }
    int Rc = Run("--repair " + Path, Out);
    if (K.Mendable) {
      EXPECT_EQ(Rc, 0) << Out;
      EXPECT_NE(Out.find("people: mended, 1200 records"), std::string::npos) << Out;
      EXPECT_EQ(Orders(), Before);
    } else if (!I.empty()) {
      EXPECT_EQ(Rc, 1) << Out;
    }
    Put("people.DAT", Dat);
    Put("people.IDX", Idx);
  }
}

TEST_F(CheckToolTest, UsageErrorsAndAMissingDirectory) {
  std::string Out;
  EXPECT_EQ(Run("", Out), 2);
  EXPECT_EQ(Run("--fix " + Path, Out), 2);
  EXPECT_EQ(Run(Path + "nothing-here", Out), 1);
}

}  // namespace
