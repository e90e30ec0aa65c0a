// Feeds arbitrary bytes to the XML reader: every input must give a tree or an Exception, and a
// tree must be walkable to its leaves.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "controls/xmlreader.h"

namespace {
size_t Walk(const TXMLNode* Node) {
  size_t N = Node->Name.size() + Node->Value.size();
  for (int I = 0; I < Node->ChildCount(); ++I) N += Walk(Node->GetChild(I));
  N += Node->FindChild("a") != nullptr;
  return N;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TXMLStringReader Reader(std::string(reinterpret_cast<const char*>(Data), Size));
  try {
    std::unique_ptr<TXMLNode> Doc(Reader.ReadDocument());
    volatile size_t Sink = Walk(Doc.get());
    (void)Sink;
  } catch (const Exception&) {
  }
  return 0;
}
