// cp1250-text IN OUT: writes the UTF-8 text file IN as code page 1250 with CR LF line ends.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/cp1250-text/textconv.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: cp1250-text IN OUT\n");
    return 2;
  }
  try {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
    std::stringstream s;
    s << in.rdbuf();
    const std::string out = textconv::Utf8ToStoredText(s.str(), argv[1]);
    std::ofstream f(argv[2], std::ios::binary | std::ios::trunc);
    f << out;
    if (!f) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& e) {
    std::remove(argv[2]);
    std::fprintf(stderr, "cp1250-text: %s\n", e.what());
    return 1;
  }
  return 0;
}
