// Random filters over random rows: the bitmap evaluation through indexes, the same filters on a
// table without indexes, and a record-by-record test of the condition must all give the same
// records.
#include <random>

#include "filter_test_util.h"

using namespace cursortest;
using namespace filtertest;

namespace {

class FilterDifferentialTest : public FilterFixture {
 protected:
  // Polish tables read numbers with a decimal comma and dates in their own format: their atoms
  // keep to integers and leave dates out.
  bool Polish = false;
  std::string Atom(std::mt19937& G) {
    static const char* const Ops[] = {"=", "<>", "<", ">", "<=", ">="};
    static const char* const Names[] = {"'Kot'", "'kot'", "'M'", "'Ala'", "'\xAF" "aba'", "'Ko'", "'Zenon'",
                                        "'\xA3o\x9C'", "'a'"};
    const std::string Op = Ops[G() % 6];
    const int Q = static_cast<int>(G() % 45) - 22;
    switch (G() % 14) {
      case 0: return "QTY " + Op + " " + std::to_string(Q);
      case 1: return std::to_string(Q) + " " + Op + " QTY";
      case 2: return "PRICE " + Op + " " + std::to_string(Q * 3) + (Polish ? "" : ".5");
      case 3: return "NAME " + Op + " " + Names[G() % 9];
      case 4: return std::string("NAME LIKE '") + (G() % 2 ? "Ko%'" : "%o%'");
      case 5: return G() % 2 ? "QTY IS NULL" : "QTY IS NOT NULL";
      case 6: return G() % 2 ? "NAME IS NULL" : "PRICE IS NOT NULL";
      case 7:
      {
        // After a number, a Polish table reads a comma as its decimal separator.
        const std::string Sep = Polish ? " , " : ", ";
        return std::string(G() % 2 ? "QTY IN (" : "QTY NOT IN (") + std::to_string(Q) + Sep + std::to_string(Q + 3) +
               Sep + std::to_string(-Q) + ")";
      }
      case 8:
        return std::string(G() % 2 ? "QTY BETWEEN " : "QTY NOT BETWEEN ") + std::to_string(Q) + " AND " +
               std::to_string(Q + static_cast<int>(G() % 10));
      case 9:
        if (Polish) return "BORN IS NULL";
        return "BORN " + Op + " '" + std::to_string(1998 + G() % 3) + "-0" + std::to_string(1 + G() % 9) + "-15'";
      case 10: return G() % 2 ? "FLAG" : "NOT FLAG";
      case 11: return G() % 2 ? "QTY + 1 " + Op + " " + std::to_string(Q) : "ID " + Op + " " + std::to_string(Q * 40);
      case 12: {
        const std::string N = Names[G() % 9];
        return "NAME = '" + N.substr(1, std::min<size_t>(2, N.size() - 2)) + "*'";
      }
      default: return "UPPER(NAME) " + Op + " 'KOT'";
    }
  }
  void Check(int Rows, int Expressions, uint16_t Language);
  std::string Expression(std::mt19937& G, int Depth) {
    if (Depth == 0 || G() % 3 == 0) return Atom(G);
    switch (G() % 3) {
      case 0: return "(" + Expression(G, Depth - 1) + ") AND (" + Expression(G, Depth - 1) + ")";
      case 1: return "(" + Expression(G, Depth - 1) + ") OR (" + Expression(G, Depth - 1) + ")";
      default: return "NOT (" + Expression(G, Depth - 1) + ")";
    }
  }
};

TEST_F(FilterDifferentialTest, IndexPathScanAndRecordTestAgree) {
  Check(2000, 300, 0);
}

TEST_F(FilterDifferentialTest, IndexPathScanAndRecordTestAgreeInAPolishTable) {
  Polish = true;
  Check(800, 150, 1045);
}

void FilterDifferentialTest::Check(int Rows, int Expressions, uint16_t Language) {
  Fill(MakeItems(Rows, 42), Language);
  std::mt19937 G(1234);
  int Indexed2 = 0;
  for (int I = 0; I < Expressions; ++I) {
    const std::string Text = Expression(G, 3);
    const bool CaseIns = G() % 4 == 0;
    SCOPED_TRACE(Text + (CaseIns ? " (case-insensitive)" : ""));
    if (I == Expressions / 2) Indexed->SetIndexName("BYQTY");
    TFilterHandle HI = nullptr, HP = nullptr;
    const std::set<int32_t> A = Visible(Indexed, Text, CaseIns, &HI);
    const std::set<int32_t> B = Visible(Plain, Text, CaseIns, &HP);
    const std::set<int32_t> C = BruteForce(Plain, Text, CaseIns);
    EXPECT_EQ(A, C);
    EXPECT_EQ(B, C);
    if (HI->Optimization == 2) ++Indexed2;
    Indexed->DropFilter(HI);
    Plain->DropFilter(HP);
    if (HasFailure()) break;
  }
  // A good part of the filters went wholly through indexes.
  EXPECT_GT(Indexed2, Expressions / 10);
}

}  // namespace
