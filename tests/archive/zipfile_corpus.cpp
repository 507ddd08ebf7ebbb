// Writes the fuzzer's seed corpus: small valid and broken archives from the tests' own writer.
//   zipfile_corpus DIR
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/archive/testzipwriter.h"

using testzip::Writer;

namespace {

void Save(const std::string& dir, const std::string& name, const std::string& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zipfile_corpus DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::string text = testzip::MakeBytes(600, 1, true);
  {
    Writer w;
    w.Add("readme.txt", text);
    w.Add("data.bin", testzip::MakeBytes(200, 2, false), 0);
    w.Add("empty", "", 0);
    Save(dir, "mixed.zip", w.Build());
  }
  {
    Writer w;
    w.Add("sub/", "", 0);
    w.Add("sub\\file.txt", "in a folder");
    w.comment = "package comment";
    Save(dir, "folders-comment.zip", w.Build());
  }
  {
    Writer w;
    w.Add("a.txt", "x", 0);
    w.comment = std::string(4096 - 22, 'c');
    Save(dir, "comment-at-tail-start.zip", w.Build());
  }
  {
    Writer w;
    w.Add("../evil.txt", "evil");
    w.Add("C:\\evil.txt", "evil", 0);
    w.Add(std::string("nul\0.txt", 8), "evil", 0);
    Save(dir, "hostile-names.zip", w.Build());
  }
  {
    Writer w;
    w.Add("crc.txt", text).crc = 1;
    w.Add("oversize.txt", text).size = 100;
    w.Add("no-end.txt", text).compressed = testzip::Deflate(text, false);
    Save(dir, "bad-data.zip", w.Build());
  }
  {
    Writer w;
    w.Add("first.txt", text);
    w.Add("second.txt", text).shareLocalOf = 0;
    w.Add("long.txt", text).compressedSize = 5000;
    Save(dir, "overlap.zip", w.Build());
  }
  {
    Writer w;
    testzip::Entry& e = w.Add("local.txt", text);
    e.localName = "other-local-name.txt";
    e.localExtra = std::string(20, 'e');
    e.centralExtra = std::string(8, 'x');
    Save(dir, "local-fields.zip", w.Build());
  }
  {
    // A streamed self-extractor: data descriptors, a program before the entries, and central
    // records out of file order.
    Writer w;
    w.Add("one.txt", text).descriptor = true;
    w.Add("two.bin", testzip::MakeBytes(100, 3, false), 0).descriptor = true;
    w.Add("three.txt", "3").descriptor = true;
    w.prefix = "MZ stub";
    w.centralOrder = {2, 0, 1};
    Save(dir, "streamed-sfx.zip", w.Build());
  }
  {
    Writer w;
    w.Add("a.txt", "x");
    w.count = 0xFFFF;
    Save(dir, "huge-count.zip", w.Build());
  }
  {
    Writer w;
    w.Add("a.txt", text);
    const std::string full = w.Build();
    Save(dir, "truncated.zip", full.substr(0, full.size() / 2));
  }
  Save(dir, "empty-archive.zip", Writer().Build());
  return 0;
}
