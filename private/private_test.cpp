#include "private/telvanix_private.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const unsigned char* bytesOf(const void* p) { return static_cast<const unsigned char*>(p); }

std::vector<unsigned char> slice(const void* p, std::size_t from, std::size_t to) {
  return std::vector<unsigned char>(bytesOf(p) + from, bytesOf(p) + to);
}

bool allZero(const void* p, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (bytesOf(p)[i] != 0) return false;
  return true;
}

void dirty(void* p, std::size_t n) { std::memset(p, 0xAA, n); }

// A message built in a record that held something else before.
TelvanixPrivateMessage* rebuilt(privateMessageID type, std::int32_t callID, const char* device) {
  static TelvanixPrivateMessage m;
  dirty(&m, sizeof m);
  buildPrivateMessage(&m, type, callID, device);
  return &m;
}

// A received message exactly `n` bytes long on the heap, so that reading past
// its end is caught by the address sanitizer.
std::unique_ptr<unsigned char[]> arrived(const void* message, std::size_t n) {
  std::unique_ptr<unsigned char[]> p(new unsigned char[n]);
  std::memcpy(p.get(), message, n);
  return p;
}

}  // namespace

TEST(PrivateBuild, HeaderIsLaidOutByteForByte) {
  TelvanixPrivateMessage* m = rebuilt(kqPvtGetLineInfo, 0x1234, "201");

  const std::vector<unsigned char> expected = {
      'T', 'e', 'l', 'v', 'a', 'n', 'i', 'x', ' ', 'V', 'e', 'r', 's', 'i', 'o', 'n',
      ' ', '1', '.', '0', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0x2B, 0x01,              // length 299
      0x36, 0x00,              // msgType 54
      0x34, 0x12, 0x00, 0x00,  // callID
      '2', '0', '1'};
  EXPECT_EQ(slice(m, 0, expected.size()), expected);
  EXPECT_TRUE(allZero(m, expected.size(), kPvtHeaderSize));
  // The whole payload is cleared too.
  EXPECT_TRUE(allZero(m, kPvtHeaderSize, sizeof *m));
  EXPECT_EQ(asPrivateData(m)->length, 299);
}

TEST(PrivateBuild, ConnectionEdges) {
  // A device name longer than its field fills bytes 40 to 103 and no more.
  const std::string longName(70, 'D');
  TelvanixPrivateMessage* m = rebuilt(kqPvtGetDSpanInfo, -2, longName.c_str());
  EXPECT_EQ(slice(m, 36, 40), (std::vector<unsigned char>{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(slice(m, 40, 104), std::vector<unsigned char>(64, 'D'));
  EXPECT_EQ(bytesOf(m)[104], 0);
  EXPECT_EQ(bytesOf(m)[105], 0);
  EXPECT_TRUE(allZero(m, 106, sizeof *m));

  // No device: an empty field, not a leftover of the last message.
  m = rebuilt(kqPvtRequestSwrID, 0, nullptr);
  EXPECT_TRUE(allZero(m, 36, kPvtHeaderSize));
}

TEST(PrivateBuild, PlayDigitsCarryAtMost64) {
  struct Case {
    std::string digits;
    int count;
  };
  const std::string seventy = std::string(7, '0') + "123456789012345678901234567890123456789012345678901234567890123";
  ASSERT_EQ(seventy.size(), 70u);
  for (const Case& c : {Case{seventy, 64}, Case{seventy.substr(0, 64), 64},
                        Case{seventy.substr(0, 63), 63}, Case{"5", 1}, Case{"", 0}}) {
    SCOPED_TRACE(c.digits.size());
    TelvanixPrivateMessage* m = rebuilt(kqPvtPlayDigits, 0x10, "201");
    EXPECT_EQ(fillPlayDigits(&m->digits, c.digits.c_str()), c.count);
    const std::size_t n = static_cast<std::size_t>(c.count);
    EXPECT_EQ(slice(m, 106, 112), (std::vector<unsigned char>{static_cast<unsigned char>(c.count), 0x00,
                                                              0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytesOf(m) + 112), n), c.digits.substr(0, n));
    EXPECT_TRUE(allZero(m, 112 + n, 176));
    EXPECT_EQ(bytesOf(m)[176], 1);  // lineOnly
    EXPECT_TRUE(allZero(m, 177, sizeof *m));
    EXPECT_EQ(asPrivateData(m)->length, 299);
  }
}

TEST(PrivateBuild, PayloadIntegersAreLittleEndianAtTheirOffsets) {
  TelvanixPrivateMessage* m = rebuilt(kqPvtPlay, 1, "201");
  m->file.position = 0x01020304;
  putPrivateText(m->file.fileName, "X.VOX");
  m->file.invokeID = 0xA0B0C0D0;
  m->file.count = 7;
  EXPECT_EQ(slice(m, 106, 116), (std::vector<unsigned char>{0x04, 0x03, 0x02, 0x01, 'X', '.', 'V', 'O', 'X', 0}));
  EXPECT_EQ(slice(m, 238, 246), (std::vector<unsigned char>{0xD0, 0xC0, 0xB0, 0xA0, 0x07, 0, 0, 0}));

  // Fields at odd and unaligned offsets.
  m = rebuilt(kqPvtReportStatusInfo, 0, nullptr);
  m->status.dtmfGrants[5] = 0x1234;
  m->status.recordGrants[15] = 0xBEEF;
  m->status.block = 9;
  EXPECT_EQ(slice(m, 118, 120), (std::vector<unsigned char>{0x34, 0x12}));
  EXPECT_EQ(slice(m, 238, 240), (std::vector<unsigned char>{0xEF, 0xBE}));
  EXPECT_EQ(bytesOf(m)[243], 9);

  m = rebuilt(kqPvtSetSystemInfo, 0, nullptr);
  m->sysInfo.audioOnHold = kqPvtContinuousBusyToneSound;
  m->sysInfo.flashTimeout = 0x0102;
  m->sysInfo.parkRingbackTime = 0x0304;
  EXPECT_EQ(slice(m, 106, 117), (std::vector<unsigned char>{0, 0x05, 0x00, 0, 0, 0, 0x02, 0x01, 0, 0x04, 0x03}));

  m = rebuilt(kqPvtGetParkInfo, 0, nullptr);
  m->callInfo.parkID = 0x11223344;
  EXPECT_EQ(slice(m, 110, 114), (std::vector<unsigned char>{0x44, 0x33, 0x22, 0x11}));
  const std::uint32_t back = m->callInfo.parkID;
  EXPECT_EQ(back, 0x11223344u);
}

TEST(PrivateBuild, TextFieldsStayWithinTheirWidth) {
  TelvanixPrivateMessage* m = rebuilt(kqPvtPlay, 1, "201");
  m->file.invokeID = 0x01010101;
  putPrivateText(m->file.fileName, std::string(130, 'F').c_str());
  EXPECT_EQ(getPrivateText(m->file.fileName), std::string(128, 'F'));
  const std::uint32_t invoke = m->file.invokeID;
  EXPECT_EQ(invoke, 0x01010101u);  // the field after it is untouched

  // A shorter text clears what a longer one left behind.
  putPrivateText(m->file.fileName, "A.VOX");
  EXPECT_EQ(getPrivateText(m->file.fileName), "A.VOX");
  EXPECT_TRUE(allZero(m->file.fileName, 5, 128));
  putPrivateText(m->file.fileName, nullptr);
  EXPECT_TRUE(allZero(m->file.fileName, 0, 128));
}

TEST(PrivateBuild, VoxbridgeRecordCarriesItsWholeArea) {
  TelvanixPrivateVoxMessage v;
  dirty(&v, sizeof v);
  buildPrivateMessage(&v, kqPvtPlay, 7, "401");
  EXPECT_EQ(sizeof v, 308u);
  EXPECT_EQ(slice(&v, 32, 40), (std::vector<unsigned char>{0x12, 0x01, 0x0A, 0x00, 0x07, 0, 0, 0}));
  EXPECT_EQ(getPrivateText(v.header.connection.deviceID), "401");
  EXPECT_TRUE(allZero(&v, 43, sizeof v));
  EXPECT_EQ(kPvtWireHeaderSize + asPrivateData(&v)->length, sizeof v);
}

TEST(PrivateReceive, ShortMessageIsReadOnlyAsFarAsItArrived) {
  TelvanixPrivateMessage sent;
  buildPrivateMessage(&sent, kqPvtDigitsSeen, 0x55, "201");
  fillPlayDigits(&sent.digits, "123");

  // 40 bytes arrived although the length field still says 299.
  auto in = arrived(&sent, 40);
  TelvanixPrivateMessage out;
  dirty(&out, sizeof out);
  ASSERT_TRUE(readPrivateBytes(in.get(), 40, &out));
  EXPECT_EQ(+out.header.msgType, kqPvtDigitsSeen);
  EXPECT_EQ(+out.header.connection.callID, 0x55);
  EXPECT_TRUE(allZero(&out, 40, sizeof out));

  // An event buffer with room for 10 data bytes and a length claiming more.
  auto pd = arrived(&sent, kPvtWireHeaderSize + 10);
  const std::uint16_t claimed = 4000;
  std::memcpy(pd.get() + 32, &claimed, sizeof claimed);
  dirty(&out, sizeof out);
  ASSERT_TRUE(readPrivateMessage(reinterpret_cast<const PrivateData_t*>(pd.get()), 10, &out));
  EXPECT_EQ(+out.header.msgType, kqPvtDigitsSeen);
  EXPECT_EQ(slice(&out, 38, 44), (std::vector<unsigned char>{0, 0, '2', '0', '1', 0}));
  EXPECT_TRUE(allZero(&out, 44, sizeof out));

  // One byte of msgType is still a message; none is not.
  in = arrived(&sent, 35);
  EXPECT_TRUE(readPrivateBytes(in.get(), 35, &out));
  EXPECT_EQ(+out.header.msgType, kqPvtDigitsSeen);
  in = arrived(&sent, 34);
  EXPECT_FALSE(readPrivateBytes(in.get(), 34, &out));
  EXPECT_EQ(+out.header.msgType, kqPvtUnknown);
  in = arrived(&sent, 20);
  EXPECT_FALSE(readPrivateBytes(in.get(), 20, &out));
  EXPECT_TRUE(allZero(&out, 20, sizeof out));
  EXPECT_FALSE(readPrivateMessage(nullptr, 400, &out));
  EXPECT_TRUE(allZero(&out, 0, sizeof out));
}

TEST(PrivateReceive, BytesBeyondLengthReadAsZero) {
  // A voxbridge message reads like a probix32 one whose payload ends early.
  TelvanixPrivateVoxMessage vox;
  buildPrivateMessage(&vox, kqPvtPlayEnded, 9, "V1#1");
  std::memset(vox.payload, 0x5A, sizeof vox.payload);
  auto in = arrived(&vox, sizeof vox);
  TelvanixPrivateMessage out;
  dirty(&out, sizeof out);
  ASSERT_TRUE(readPrivateBytes(in.get(), sizeof vox, &out));
  EXPECT_EQ(+out.header.msgType, kqPvtPlayEnded);
  EXPECT_EQ(getPrivateText(out.header.connection.deviceID), "V1#1");
  EXPECT_EQ(slice(&out, 106, 308), std::vector<unsigned char>(202, 0x5A));
  EXPECT_TRUE(allZero(&out, 308, sizeof out));

  // probix32 does not carry its record's last byte.
  TelvanixPrivateMessage full;
  buildPrivateMessage(&full, kqPvtReportLineInfo, 1, "201");
  std::memset(full.payload, 0x77, sizeof full.payload);
  in = arrived(&full, sizeof full);
  ASSERT_TRUE(readPrivateBytes(in.get(), sizeof full, &out));
  EXPECT_EQ(bytesOf(&out)[332], 0x77);
  EXPECT_EQ(bytesOf(&out)[333], 0);

  // More bytes than a record holds fill the record and stop there.
  std::vector<unsigned char> big(600, 0x33);
  std::memcpy(big.data(), &full, kPvtHeaderSize);
  const std::uint16_t length = 566;
  std::memcpy(big.data() + 32, &length, sizeof length);
  ASSERT_TRUE(readPrivateMessage(reinterpret_cast<const PrivateData_t*>(big.data()), 566, &out));
  EXPECT_EQ(bytesOf(&out)[333], 0x33);
}

TEST(PrivateReceive, VendorIsMatchedWithoutRegardToCase) {
  struct Case {
    const char* vendor;
    bool accepted;
  };
  for (const Case& c : {Case{"Telvanix Version 1.0", true}, Case{"TELVANIX VERSION 1.0", true},
                        Case{"telvanix version 1.0", true}, Case{"Telvanix Version 1.0  ", true},
                        Case{"Telvanix Version 1.1", false}, Case{"Telvanix Version 1.00", false},
                        Case{"Telvanix Version 1.", false}, Case{"Telvanix", false}, Case{"", false},
                        Case{"Other Vendor", false}}) {
    SCOPED_TRACE(c.vendor);
    TelvanixPrivateMessage m;
    buildPrivateMessage(&m, kqPvtReportSwrID, 0, nullptr);
    putPrivateText(m.header.vendor, c.vendor);
    EXPECT_EQ(isTelvanixVendor(m.header.vendor), c.accepted);
    TelvanixPrivateMessage out;
    EXPECT_EQ(readPrivateBytes(&m, sizeof m, &out), c.accepted);
  }
  // A vendor field filled to its width is read no further than its width.
  auto full = arrived("Telvanix Version 1.0XXXXXXXXXXXX", 32);
  EXPECT_FALSE(isTelvanixVendor(reinterpret_cast<const char*>(full.get())));
  EXPECT_FALSE(isTelvanixVendor(nullptr));
}

TEST(PrivateReceive, DigitCountIsLimitedToTheRecord) {
  TelvanixPrivateDTMF d{};
  const int cases[][2] = {{5, 5}, {64, 64}, {65, 64}, {32767, 64}, {-1, 0}, {0, 0}};
  for (const auto& c : cases) {
    d.count = static_cast<std::int16_t>(c[0]);
    EXPECT_EQ(privateDigitsPresent(&d), c[1]) << c[0];
  }
}
