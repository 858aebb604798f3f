// libFuzzer target for the frame decoder (cmake/fuzz.cmake).
//
// The first input byte picks how the rest is used: as raw bytes (mode 0, for
// the header checks) or as a body sealed under a correct header of kind 1, 2
// or 3 (so the fuzzer gets past the checksum into the body decoder).
// Besides not crashing, an accepted frame must encode back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "csta32/wire/wire.h"

namespace {

void sealed(std::uint8_t kind, const std::uint8_t* body, std::size_t len,
            std::vector<std::uint8_t>& out) {
  out.assign(wire::kHeaderSize, 0);
  out[0] = 'T';
  out[1] = 'X';
  out[2] = wire::kWireVersion;
  out[3] = kind;
  std::uint32_t n = static_cast<std::uint32_t>(len);
  std::uint32_t crc = wire::crc32(body, len);
  for (int i = 0; i < 4; ++i) {
    out[4 + i] = static_cast<std::uint8_t>(n >> (8 * i));
    out[8 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  }
  out.insert(out.end(), body, body + len);
}

void check(bool same) {
  if (!same) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > wire::kMaxBody) return 0;
  std::uint8_t mode = data[0] % 4;
  std::vector<std::uint8_t> f;
  if (mode == 0)
    f.assign(data + 1, data + size);
  else
    sealed(mode, data + 1, size - 1, f);

  long len = wire::frameLength(f.data(), f.size());
  (void)wire::frameKind(f.data(), f.size());
  (void)len;

  wire::Event e;
  if (wire::decodeEvent(f.data(), f.size(), e)) {
    std::vector<std::uint8_t> again;
    check(wire::encodeEvent(e, again) && again == f);
    std::size_t need = wire::layoutSize(e);
    if (need <= 0xFFFF) {
      std::vector<std::uint8_t> buf(need);
      check(wire::layoutEvent(e, buf.data(), buf.size()));
      check(!wire::layoutEvent(e, buf.data(), need - 1));
    }
  }
  wire::Request r;
  if (wire::decodeRequest(f.data(), f.size(), r)) {
    std::vector<std::uint8_t> again;
    check(wire::encodeRequest(r, again) && again == f);
  }
  wire::Control c;
  if (wire::decodeControl(f.data(), f.size(), c)) {
    std::vector<std::uint8_t> again;
    check(wire::encodeControl(c, again) && again == f);
  }
  return 0;
}
