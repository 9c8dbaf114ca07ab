// Writes the sample log settings file in the one form the launcher reads:
// UTF-16LE with a byte-order mark, every line ended by CR LF. The source is
// UTF-8; its empty lines and lines starting with "#" are left out, as the
// launcher's reader has no comments.
//
// usage: write_properties SOURCE TARGET
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_properties SOURCE TARGET\n");
    return 2;
  }
  std::ifstream source(argv[1], std::ios::binary);
  if (!source) {
    std::fprintf(stderr, "write_properties: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string bytes(plat::kUtf16LeMark);
  std::string line;
  while (std::getline(source, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    bytes += plat::EncodeUtf16Le(plat::FromUtf8(line + "\r\n"));
  }
  std::ofstream target(argv[2], std::ios::binary | std::ios::trunc);
  target.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  target.close();
  if (!target) {
    std::fprintf(stderr, "write_properties: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
