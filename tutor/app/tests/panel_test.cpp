// The page panel on its own: pages hidden and shown, none keeps the old page, and a page that is
// freed leaves no client form behind.
#include <gtest/gtest.h>

#include "platform/gui/testing.h"
#include "tutor/app/CPanel.h"

namespace {

TEST(ClearPanel, ShowsOnePageHidesTheOtherAndForgetsAFreedOne) {
  TForm Host(nullptr);
  Host.SetClientWidth(800);
  Host.SetClientHeight(600);
  auto* Panel = new TClearPanel(&Host);
  Panel->SetParent(&Host);
  Panel->SetBounds(0, 0, 800, 600);
  Host.Show();
  auto* A = new TForm(nullptr);
  auto* B = new TForm(nullptr);
  A->SetBorderStyle(bsSingle);

  Panel->SetClientForm(A);
  EXPECT_EQ(Panel->ClientForm(), A);
  EXPECT_TRUE(A->Visible());
  EXPECT_EQ(A->Parent(), Panel);
  EXPECT_EQ(A->BorderStyle(), bsNone);
  EXPECT_EQ(A->BoundsRect(), TRect(0, 0, 800, 600));

  Panel->SetClientForm(B);
  EXPECT_FALSE(A->Visible());  // hidden, still alive
  EXPECT_TRUE(B->Visible());

  Panel->SetClientForm(nullptr);  // only hides
  EXPECT_FALSE(B->Visible());
  EXPECT_EQ(Panel->ClientForm(), B);

  delete B;
  EXPECT_EQ(Panel->ClientForm(), nullptr);
  Panel->SetClientForm(A);
  EXPECT_TRUE(A->Visible());
  delete A;
  EXPECT_EQ(Panel->ClientForm(), nullptr);
  vxtest::Pump();
}

}  // namespace
