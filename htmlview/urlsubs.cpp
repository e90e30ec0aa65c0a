#include "htmlview/urlsubs.h"

#include "htmlview/htmlun2.h"

std::string BaseOfUrl(const std::string& Url) {
  std::string S = TrimText(Url);
  size_t Q = S.find('?');
  if (Q != std::string::npos) S.erase(Q);
  size_t Slashes = S.find("//");
  size_t Start = Slashes == std::string::npos ? 1 : Slashes + 2;
  size_t Last = S.rfind('/');
  if (Last != std::string::npos && Last >= Start) return S.substr(0, Last + 1);
  return S + "/";
}

bool IsCompleteUrl(const std::string& Url) {
  size_t P = Url.find("://");
  if (P != std::string::npos && Url.find('/') >= P) return true;
  return LowerCase(Url).find("mailto:") != std::string::npos;
}

std::string CombineUrl(const std::string& BaseIn, const std::string& Reference) {
  std::string Base = BaseIn;
  // R: the 1-based position of the root "/" of the base; 0 when there is none.
  size_t R = 0;
  size_t P = Base.find("://");
  if (P != std::string::npos) {
    size_t Slash = Base.find('/', P + 3);
    R = Slash != std::string::npos ? Slash + 1 : P + 3;
  } else {
    size_t Slash = Base.find('/');
    R = Slash != std::string::npos ? Slash + 1 : 0;
  }
  if (R != 0) {
    if (Base.empty() || Base.back() != '/') Base += '/';
  } else {
    Base += '/';
    R = Base.size();
  }
  std::string Ref = TrimText(Reference);
  std::string S;
  if (Ref.empty() || Ref[0] != '/')
    S = Base + Ref;
  else if (Ref.size() > 1 && Ref[1] == '/')
    S = Base.substr(0, R) + Ref;
  else
    S = Base.substr(0, R) + Ref.substr(1);

  // Resolve "/../": drop the segment before it; at or before the root only the "../" goes.
  for (;;) {
    size_t Found = S.find("/../");
    if (Found == std::string::npos) break;
    size_t Pp = Found + 1;  // 1-based
    if (Pp > R) {
      size_t Q = Pp - 1;  // 1-based, going back
      while (Q > 1 && S[Q - 1] != '/') --Q;
      if (Q <= 1) break;
      // S[Q] (1-based) is "/": the segment starts after it.
      S.erase(Q, Pp + 3 - Q);
    } else {
      S.erase(Pp, 3);
    }
  }
  for (;;) {
    size_t Found = S.find("/./");
    if (Found == std::string::npos) break;
    S.erase(Found + 1, 2);
  }
  return S;
}
