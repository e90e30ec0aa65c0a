#include "htmlview/core_wishlist.h"

#include <vector>

#include "platform/core/fileutils.h"

std::string ExpandFileName(const std::string& FileName) {
  if (FileName.empty()) return FileName;
  const bool Absolute = FileName[0] == '/' || FileName[0] == '\\';
  const std::string Full = Absolute ? FileName : GetCurrentDir() + "/" + FileName;
  std::vector<std::string> Parts;
  std::string Cur;
  auto Push = [&] {
    if (Cur == "..") {
      if (!Parts.empty()) Parts.pop_back();
    } else if (!Cur.empty() && Cur != ".") {
      Parts.push_back(Cur);
    }
    Cur.clear();
  };
  for (char C : Full) {
    if (C == '/' || C == '\\')
      Push();
    else
      Cur += C;
  }
  Push();
  std::string R;
  for (const std::string& P : Parts) R += "/" + P;
  return R.empty() ? "/" : R;
}
