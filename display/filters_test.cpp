#include "display/filters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"

namespace {

class Filters : public ::testing::Test {
 protected:
  void SetUp() override { globalFilter = CSTAMonitorFilter_t(); }
  void TearDown() override { globalFilter = CSTAMonitorFilter_t(); }

  static unsigned long privateBits() {
    return static_cast<std::uint32_t>(globalFilter.privateFilter);
  }
  static std::string names(int type) {
    const char* s = filStr.getFilterString(type, globalFilter);
    return s ? s : "(null)";
  }
};

// Formatted output written by body, without tabs so columns are blanks.
template <typename Body>
std::string capture(Body body) {
  FILE* file = std::tmpfile();
  if (!file) return "(no tmpfile)";
  FILE* previous = set_o_file(file);
  bool tabs = set_tabs_allowed(false);
  body();
  set_tabs_allowed(tabs);
  set_o_file(previous);
  std::rewind(file);
  std::string out;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  std::fclose(file);
  return out;
}

TEST_F(Filters, ToggleTwiceRestoresTheField) {
  globalFilter.call = 0x4;
  EXPECT_EQ(filStr.setFilter("HELD", 1), 0);
  EXPECT_EQ(globalFilter.call, 0x104);
  EXPECT_EQ(filStr.setFilter("HELD", 1), 0);
  EXPECT_EQ(globalFilter.call, 0x4);
  // The abbreviation names the same bit.
  EXPECT_EQ(filStr.setFilter("CFH", 1), 0);
  EXPECT_EQ(globalFilter.call, 0x104);
}

TEST_F(Filters, CustomBitIsShownUnderItsOwnName) {
  EXPECT_EQ(filStr.setFilter("CF_BIT", 3), 0);
  EXPECT_EQ(globalFilter.call, 0x4);
  EXPECT_EQ(names(1), "TRANSFERRED");

  EXPECT_EQ(filStr.setFilter("PF_BIT", 2), 0);
  EXPECT_EQ(privateBits(), 0x2u);
  EXPECT_EQ(names(5), "DTMF");
  EXPECT_EQ(filStr.setFilter("PF_BIT", 2), 0);
  EXPECT_EQ(privateBits(), 0u);

  EXPECT_EQ(filStr.setFilter("PF_BIT", 32), 0);
  EXPECT_EQ(privateBits(), 0x80000000u);
  EXPECT_EQ(names(5), "BIT32");
}

TEST_F(Filters, BitsOutsideTheFieldChangeNothing) {
  EXPECT_EQ(filStr.setFilter("FF_BIT", 9), 0);
  EXPECT_EQ(globalFilter.feature, 0);
  // Bit numbers that name no bit at all must not shift out of range.
  for (int bit : {0, -1, 33, 1000}) {
    EXPECT_EQ(filStr.setFilter("PF_BIT", bit), 0);
    EXPECT_EQ(privateBits(), 0u) << bit;
  }
}

TEST_F(Filters, ClearAllNamesClearOnlyTheirCategory) {
  globalFilter.call = 0x8000;
  globalFilter.feature = 0x10;
  globalFilter.agent = 0x80;
  globalFilter.maintenance = 0x40;
  globalFilter.privateFilter = 0x2;
  EXPECT_EQ(filStr.setFilter("FF_NONE", 1), 0);
  EXPECT_EQ(globalFilter.feature, 0);
  EXPECT_EQ(globalFilter.call, 0x8000);
  EXPECT_EQ(filStr.setFilter("CF_CLEAR", 1), 0);
  EXPECT_EQ(globalFilter.call, 0);
  EXPECT_EQ(filStr.setFilter("AF_NONE", 1), 0);
  EXPECT_EQ(filStr.setFilter("MF_NONE", 1), 0);
  EXPECT_EQ(globalFilter.agent, 0);
  EXPECT_EQ(globalFilter.maintenance, 0);
  EXPECT_EQ(privateBits(), 0x2u);
  EXPECT_EQ(filStr.setFilter("PF_NONE", 1), 0);
  EXPECT_EQ(privateBits(), 0u);
}

TEST_F(Filters, UnknownNamesAreRefusedAndChangeNothing) {
  filStr.setFilter("CF_BIT", 3);  // the custom record now holds a mask
  EXPECT_EQ(filStr.setFilter("NOT_A_FILTER", 1), -1);
  EXPECT_EQ(filStr.setFilter("", 1), -1);
  EXPECT_EQ(filStr.setFilter("held", 1), -1);
  EXPECT_EQ(filStr.setFilter(nullptr, 1), -1);
  EXPECT_EQ(globalFilter.call, 0x4);
}

TEST_F(Filters, EveryOfferedNameIsKnown) {
  for (const char* const* name = filterNames; *name; ++name) {
    globalFilter = CSTAMonitorFilter_t();
    EXPECT_EQ(filStr.setFilter(*name, 1), 0) << *name;
  }
}

// Each named bit must be the library's bit of the same name.
TEST_F(Filters, NamedBitsAgreeWithTheLibraryHeader) {
  struct Bit {
    const char* name;
    unsigned long mask;
  };
  const Bit call[] = {
      {"CALL_CLEARED", CF_CALL_CLEARED}, {"CONFERENCED", CF_CONFERENCED},
      {"CONNECTION_CLEARED", CF_CONNECTION_CLEARED}, {"DELIVERED", CF_DELIVERED},
      {"DIVERTED", CF_DIVERTED}, {"ESTABLISHED", CF_ESTABLISHED}, {"FAILED", CF_FAILED},
      {"HELD", CF_HELD}, {"NETWORK_REACHED", CF_NETWORK_REACHED}, {"ORIGINATED", CF_ORIGINATED},
      {"QUEUED", CF_QUEUED}, {"RETRIEVED", CF_RETRIEVED},
      {"SERVICE_INITIATED", CF_SERVICE_INITIATED}, {"TRANSFERRED", CF_TRANSFERRED}};
  for (const Bit& b : call) {
    globalFilter = CSTAMonitorFilter_t();
    filStr.setFilter(b.name, 1);
    EXPECT_EQ(globalFilter.call, b.mask) << b.name;
  }
  const Bit feature[] = {{"CALL_INFORMATION", FF_CALL_INFORMATION},
                         {"DO_NOT_DISTURB", FF_DO_NOT_DISTURB},
                         {"FORWARDING", FF_FORWARDING},
                         {"MESSAGE_WAITING", FF_MESSAGE_WAITING}};
  for (const Bit& b : feature) {
    globalFilter = CSTAMonitorFilter_t();
    filStr.setFilter(b.name, 1);
    EXPECT_EQ(globalFilter.feature, b.mask) << b.name;
  }
  const Bit agent[] = {{"LOGGED_ON", AF_LOGGED_ON},   {"LOGGED_OFF", AF_LOGGED_OFF},
                       {"NOT_READY", AF_NOT_READY},   {"READY", AF_READY},
                       {"WORK_NOT_READY", AF_WORK_NOT_READY}, {"WORK_READY", AF_WORK_READY}};
  for (const Bit& b : agent) {
    globalFilter = CSTAMonitorFilter_t();
    filStr.setFilter(b.name, 1);
    EXPECT_EQ(globalFilter.agent, b.mask) << b.name;
  }
  const Bit maintenance[] = {{"BACK_IN_SERVICE", MF_BACK_IN_SERVICE},
                             {"OUT_OF_SERVICE", MF_OUT_OF_SERVICE}};
  for (const Bit& b : maintenance) {
    globalFilter = CSTAMonitorFilter_t();
    filStr.setFilter(b.name, 1);
    EXPECT_EQ(globalFilter.maintenance, b.mask) << b.name;
  }
  globalFilter = CSTAMonitorFilter_t();
  filStr.setFilter("DTMF", 1);
  EXPECT_EQ(privateBits(), static_cast<unsigned long>(PF_DTMF));
}

TEST_F(Filters, NamesAreJoinedInTableOrder) {
  globalFilter.call = 0x8104;
  EXPECT_EQ(names(1), "TRANSFERRED|HELD|CALL_CLEARED");
  globalFilter.maintenance = 0xC1;
  EXPECT_EQ(names(4), "MF_BIT1|BACK_IN_SERVICE|OUT_OF_SERVICE");
  globalFilter.agent = 0x03;
  EXPECT_EQ(names(3), "AF_BIT1|AF_BIT2");
  EXPECT_EQ(names(2), "");
  EXPECT_EQ(filStr.getFilterString(0, globalFilter), nullptr);
  EXPECT_EQ(filStr.getFilterString(6, globalFilter), nullptr);

  // Every bit of the widest categories still fits the buffer.
  globalFilter.call = 0xFFFF;
  EXPECT_EQ(names(1),
            "CF_BIT1|CF_BIT2|TRANSFERRED|SERVICE_INITIATED|RETRIEVED|QUEUED|ORIGINATED|"
            "NETWORK_REACHED|HELD|FAILED|ESTABLISHED|DIVERTED|DELIVERED|CONNECTION_CLEARED|"
            "CONFERENCED|CALL_CLEARED");
  globalFilter.privateFilter = static_cast<decltype(globalFilter.privateFilter)>(0xFFFFFFFFu);
  std::string all = "BIT1|DTMF";
  for (int bit = 3; bit <= 32; ++bit) all += "|BIT" + std::to_string(bit);
  EXPECT_EQ(names(5), all);
}

TEST_F(Filters, AllZeroDisplay) {
  // The monitor display stays silent when nothing is filtered ...
  EXPECT_EQ(capture([] { o_monitorFilters(&globalFilter, 8, "! "); }), "");
  // ... while GET FILTER always shows the title and five lines.
  EXPECT_EQ(capture([] { doGetFilter(); }),
            " Current Default Filter:\n"
            "     Call       : (0x0000) \n"
            "     feature    : (0x00) \n"
            "     agent      : (0x00) \n"
            "     maintenance: (0x00) \n"
            "     private    : (0x00000000) \n");
}

TEST_F(Filters, MonitorDisplayColumns) {
  globalFilter.call = 0x104;
  globalFilter.feature = 0x40;
  globalFilter.privateFilter = 0x2;
  EXPECT_EQ(capture([] { o_monitorFilters(&globalFilter, 8, "! "); }),
            "!      Filters:\n"
            "!          Call       : (0x0104) TRANSFERRED|HELD\n"
            "!          feature    : (0x40) DO_NOT_DISTURB\n"
            "!          agent      : (0x00) \n"
            "!          maintenance: (0x00) \n"
            "!          private    : (0x00000002) DTMF\n");
}

TEST_F(Filters, Commands) {
  // Answers given on the command line are taken in order.
  i_giveBackLine("CF_BIT 3");
  doSetFilter();
  EXPECT_EQ(globalFilter.call, 0x4);
  i_giveBackLine("HELD");
  doSetFilter();
  EXPECT_EQ(globalFilter.call, 0x104);
  i_giveBackLine("PF_BIT 2");
  doSetFilter();
  EXPECT_EQ(privateBits(), 0x2u);
  i_giveBackLine("~");  // cancels: nothing toggles
  doSetFilter();
  EXPECT_EQ(globalFilter.call, 0x104);
  EXPECT_EQ(privateBits(), 0x2u);

  doSetFilterDefault();
  EXPECT_EQ(globalFilter.call, 0);
  EXPECT_EQ(privateBits(), 0u);
}

}  // namespace
