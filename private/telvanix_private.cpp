#include "private/telvanix_private.h"

#include <algorithm>
#include <cctype>

const char telvanixVendor[kPvtVendorSize] = "Telvanix Version 1.0";

namespace {

std::size_t boundedLength(const char* text, std::size_t width) {
  std::size_t n = 0;
  while (n < width && text[n] != '\0') ++n;
  return n;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// True when field[from, width) holds only blanks before its end or terminator.
bool restIsBlank(const char* field, std::size_t from, std::size_t width) {
  for (std::size_t i = from; i < width && field[i] != '\0'; ++i) {
    if (!isBlank(field[i])) return false;
  }
  return true;
}

}  // namespace

void putPrivateText(char* field, std::size_t width, const char* text) {
  std::memset(field, 0, width);
  if (text) std::memcpy(field, text, boundedLength(text, width));
}

std::string getPrivateText(const char* field, std::size_t width) {
  return std::string(field, boundedLength(field, width));
}

void fillPrivateHeader(TelvanixPrivateHeader* header, std::uint16_t length,
                       privateMessageID msgType, std::int32_t callID, const char* deviceID) {
  putPrivateText(header->vendor, telvanixVendor);
  header->length = length;
  header->msgType = msgType;
  header->connection.callID = callID;
  putPrivateText(header->connection.deviceID, deviceID);
  header->connection.devIDType = 0;
  header->connection.dummy = 0;
}

int fillPlayDigits(TelvanixPrivateDTMF* record, const char* digits) {
  const std::size_t n = digits ? boundedLength(digits, kPvtMaxDigits) : 0;
  // The digits go without a terminator: a full record has no room for one.
  std::memset(record->digits, 0, sizeof record->digits);
  if (n) std::memcpy(record->digits, digits, n);
  record->count = static_cast<std::int16_t>(n);
  record->clientID = 1;
  record->lineOnly = 1;
  return static_cast<int>(n);
}

bool isTelvanixVendor(const char* vendor) {
  if (!vendor) return false;
  const std::size_t ours = boundedLength(telvanixVendor, kPvtVendorSize);
  std::size_t i = 0;
  for (; i < kPvtVendorSize; ++i) {
    const char a = vendor[i];
    const char b = i < ours ? telvanixVendor[i] : '\0';
    if (a == '\0' && b == '\0') return true;
    if (std::toupper(static_cast<unsigned char>(a)) != std::toupper(static_cast<unsigned char>(b))) {
      // One text ended: what the other has left may only be blanks.
      if (b == '\0') return restIsBlank(vendor, i, kPvtVendorSize);
      if (a == '\0') return restIsBlank(telvanixVendor, i, ours);
      return false;
    }
  }
  return true;  // all 32 characters matched
}

bool readPrivateBytes(const void* bytes, std::size_t count, TelvanixPrivateMessage* out) {
  std::memset(static_cast<void*>(out), 0, sizeof *out);
  if (!bytes) return false;
  const unsigned char* in = static_cast<const unsigned char*>(bytes);
  if (count < kPvtWireHeaderSize) {
    // Not even a whole header: keep what there is of the vendor, carry nothing.
    std::memcpy(out, in, std::min<std::size_t>(count, kPvtVendorSize));
    return false;
  }
  const std::size_t length = static_cast<std::size_t>(in[32]) | (static_cast<std::size_t>(in[33]) << 8);
  std::size_t carried = std::min(count - kPvtWireHeaderSize, length);
  carried = std::min(carried, sizeof *out - kPvtWireHeaderSize);
  std::memcpy(out, in, kPvtWireHeaderSize + carried);
  return carried > 0 && isTelvanixVendor(out->header.vendor);
}

bool readPrivateMessage(const PrivateData_t* data, std::size_t dataCapacity,
                        TelvanixPrivateMessage* out) {
  if (!data) return readPrivateBytes(nullptr, 0, out);
  std::uint16_t length = 0;
  std::memcpy(&length, reinterpret_cast<const unsigned char*>(data) + kPvtVendorSize, sizeof length);
  return readPrivateBytes(data, kPvtWireHeaderSize + std::min<std::size_t>(length, dataCapacity), out);
}

int privateDigitsPresent(const TelvanixPrivateDTMF* record) {
  const int count = record->count;
  if (count < 0) return 0;
  return std::min(count, static_cast<int>(kPvtMaxDigits));
}
