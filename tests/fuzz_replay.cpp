// Runs a fuzz target once over each file named on the command line (its
// seeds), where libFuzzer is not built in.
#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "fuzz_replay: no seeds given\n");
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    std::FILE* f = std::fopen(argv[i], "rb");
    if (!f) {
      std::fprintf(stderr, "fuzz_replay: cannot read %s\n", argv[i]);
      return 1;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[4096];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%d seeds run\n", argc - 1);
  return 0;
}
