#include "display/filters.h"

#include <cstdint>
#include <cstring>

#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"

FILTER callFilters[] = {
    {"CF_NONE", "CF_CLEAR", 0},
    {"CF_BIT", "", 0},
    {"CF_BIT1", "", 0x1},
    {"CF_BIT2", "", 0x2},
    {"TRANSFERRED", "CFT", 0x4},
    {"SERVICE_INITIATED", "CFSI", 0x8},
    {"RETRIEVED", "CFR", 0x10},
    {"QUEUED", "CFQ", 0x20},
    {"ORIGINATED", "CFO", 0x40},
    {"NETWORK_REACHED", "CFNR", 0x80},
    {"HELD", "CFH", 0x100},
    {"FAILED", "CFF", 0x200},
    {"ESTABLISHED", "CFE", 0x400},
    {"DIVERTED", "CFDI", 0x800},
    {"DELIVERED", "CFDE", 0x1000},
    {"CONNECTION_CLEARED", "CFCOC", 0x2000},
    {"CONFERENCED", "CFC", 0x4000},
    {"CALL_CLEARED", "CFCAC", 0x8000},
    {nullptr, nullptr, 0},
};

FILTER featureFilters[] = {
    {"FF_NONE", "FF_CLEAR", 0},
    {"FF_BIT", "", 0},
    {"FF_BIT1", "", 0x1},
    {"FF_BIT2", "", 0x2},
    {"FF_BIT3", "", 0x4},
    {"FF_BIT4", "", 0x8},
    {"MESSAGE_WAITING", "FFMW", 0x10},
    {"FORWARDING", "FFF", 0x20},
    {"DO_NOT_DISTURB", "FFDND", 0x40},
    {"CALL_INFORMATION", "FFCI", 0x80},
    {nullptr, nullptr, 0},
};

FILTER agentFilters[] = {
    {"AF_NONE", "AF_CLEAR", 0},
    {"AF_BIT", "", 0},
    {"AF_BIT1", "", 0x1},
    {"AF_BIT2", "", 0x2},
    {"WORK_READY", "AFWR", 0x4},
    {"WORK_NOT_READY", "AFWNR", 0x8},
    {"READY", "AFR", 0x10},
    {"NOT_READY", "AFNR", 0x20},
    {"LOGGED_OFF", "AFLOFF", 0x40},
    {"LOGGED_ON", "AFLON", 0x80},
    {nullptr, nullptr, 0},
};

FILTER maintenanceFilters[] = {
    {"MF_NONE", "MF_CLEAR", 0},
    {"MF_BIT", "", 0},
    {"MF_BIT1", "", 0x1},
    {"MF_BIT2", "", 0x2},
    {"MF_BIT3", "", 0x4},
    {"MF_BIT4", "", 0x8},
    {"MF_BIT5", "", 0x10},
    {"MF_BIT6", "", 0x20},
    {"BACK_IN_SERVICE", "MFBIS", 0x80},
    {"OUT_OF_SERVICE", "MFOOS", 0x40},
    {nullptr, nullptr, 0},
};

FILTER privateFilters[] = {
    {"PF_NONE", "PF_CLEAR", 0},
    {"PF_BIT", "", 0},
    {"BIT1", "", 0x1},
    {"DTMF", "", 0x2},
    {"BIT3", "", 0x4},
    {"BIT4", "", 0x8},
    {"BIT5", "", 0x10},
    {"BIT6", "", 0x20},
    {"BIT7", "", 0x40},
    {"BIT8", "", 0x80},
    {"BIT9", "", 0x100},
    {"BIT10", "", 0x200},
    {"BIT11", "", 0x400},
    {"BIT12", "", 0x800},
    {"BIT13", "", 0x1000},
    {"BIT14", "", 0x2000},
    {"BIT15", "", 0x4000},
    {"BIT16", "", 0x8000},
    {"BIT17", "", 0x10000},
    {"BIT18", "", 0x20000},
    {"BIT19", "", 0x40000},
    {"BIT20", "", 0x80000},
    {"BIT21", "", 0x100000},
    {"BIT22", "", 0x200000},
    {"BIT23", "", 0x400000},
    {"BIT24", "", 0x800000},
    {"BIT25", "", 0x1000000},
    {"BIT26", "", 0x2000000},
    {"BIT27", "", 0x4000000},
    {"BIT28", "", 0x8000000},
    {"BIT29", "", 0x10000000},
    {"BIT30", "", 0x20000000},
    {"BIT31", "", 0x40000000},
    {"BIT32", "", 0x80000000},
    {nullptr, nullptr, 0},
};

const char* const filterNames[] = {
    "AF_BIT", "AF_NONE", "BACK_IN_SERVICE", "CALL_CLEARED", "CALL_INFORMATION", "CF_BIT",
    "CF_NONE", "CONFERENCED", "CONNECTION_CLEARED", "DELIVERED", "DIVERTED", "DO_NOT_DISTURB",
    "DTMF", "ESTABLISHED", "FAILED", "FF_BIT", "FF_NONE", "FORWARDING", "HELD", "LOGGED_OFF",
    "LOGGED_ON", "MESSAGE_WAITING", "MF_BIT", "MF_NONE", "NETWORK_REACHED", "NOT_READY",
    "ORIGINATED", "OUT_OF_SERVICE", "PF_BIT", "PF_NONE", "QUEUED", "READY", "RETRIEVED",
    "SERVICE_INITIATED", "TRANSFERRED", "WORK_NOT_READY", "WORK_READY", nullptr,
};

CSTAMonitorFilter_t globalFilter;
FilterString filStr;

namespace {

enum Category { CALL = 1, FEATURE, AGENT, MAINTENANCE, PRIVATE };

FILTER* categoryTable(int type) {
  switch (type) {
    case CALL: return callFilters;
    case FEATURE: return featureFilters;
    case AGENT: return agentFilters;
    case MAINTENANCE: return maintenanceFilters;
    case PRIVATE: return privateFilters;
    default: return nullptr;
  }
}

std::uint32_t getField(const CSTAMonitorFilter_t& filter, int type) {
  switch (type) {
    case CALL: return filter.call;
    case FEATURE: return filter.feature;
    case AGENT: return filter.agent;
    case MAINTENANCE: return filter.maintenance;
    case PRIVATE: return static_cast<std::uint32_t>(filter.privateFilter);
    default: return 0;
  }
}

// Bits beyond the field's width are dropped.
void setField(CSTAMonitorFilter_t& filter, int type, std::uint32_t value) {
  switch (type) {
    case CALL: filter.call = static_cast<decltype(filter.call)>(value); break;
    case FEATURE: filter.feature = static_cast<decltype(filter.feature)>(value); break;
    case AGENT: filter.agent = static_cast<decltype(filter.agent)>(value); break;
    case MAINTENANCE:
      filter.maintenance = static_cast<decltype(filter.maintenance)>(value);
      break;
    case PRIVATE:
      filter.privateFilter = static_cast<decltype(filter.privateFilter)>(value);
      break;
  }
}

bool matches(const FILTER& record, const char* name) {
  if (std::strcmp(record.string, name) == 0) return true;
  // An empty abbreviation means there is none; it must not match "".
  return record.abbreviation[0] && std::strcmp(record.abbreviation, name) == 0;
}

// A bit number outside 1..32 selects no bit rather than shifting out of range.
std::uint32_t customMask(int bit) {
  if (bit < 1 || bit > 32) return 0;
  return std::uint32_t(1) << (bit - 1);
}

void appendBounded(char* buffer, std::size_t size, const char* text) {
  std::size_t used = std::strlen(buffer);
  if (used + 1 >= size) return;
  std::strncat(buffer, text, size - used - 1);
}

}  // namespace

int FilterString::setFilter(const char* filter, int bit) {
  if (!filter) return -1;
  for (int type = CALL; type <= PRIVATE; ++type) {
    FILTER* table = categoryTable(type);
    // The clear-all record: by name, or by its abbreviation ("CF_CLEAR"),
    // which would otherwise toggle its empty mask and succeed doing nothing.
    if (matches(table[0], filter)) {
      setField(globalFilter, type, 0);
      return 0;
    }
    for (FILTER* record = table + 1; record->string; ++record) {
      if (!matches(*record, filter)) continue;
      if (record == table + 1) record->mask = customMask(bit);
      std::uint32_t field = getField(globalFilter, type);
      if (field & record->mask)
        field &= ~record->mask;
      else
        field |= record->mask;
      setField(globalFilter, type, field);
      return 0;
    }
  }
  return -1;
}

const char* FilterString::getFilterString(int type, const CSTAMonitorFilter_t& filter) {
  const FILTER* table = categoryTable(type);
  if (!table) return nullptr;
  std::uint32_t field = getField(filter, type);
  filstring[0] = '\0';
  // Skip the clear-all and custom-bit records: the custom bit is shown under
  // the name of the bit it stands for.
  for (const FILTER* record = table + 2; record->string; ++record) {
    if (!(field & record->mask)) continue;
    if (filstring[0]) appendBounded(filstring, sizeof filstring, "|");
    appendBounded(filstring, sizeof filstring, record->string);
  }
  return filstring;
}

void o_printfilter(const CSTAMonitorFilter_t* filter, const char* title, int column,
                   const char* comnt, bool dIfEmpty) {
  if (!filter) return;
  if (!comnt) comnt = "";
  bool empty = true;
  for (int type = CALL; type <= PRIVATE; ++type)
    if (getField(*filter, type)) empty = false;
  if (empty && !dIfEmpty) return;

  o_lstring(comnt, 0, false);
  o_lstring(title ? title : "", column, false);
  o_newline(0);

  const int labelColumn = column + 4;
  for (int type = CALL; type <= PRIVATE; ++type) {
    unsigned long value = getField(*filter, type);
    o_lstring(comnt, 0, false);
    switch (type) {
      case CALL: o_lprintf(labelColumn, false, "Call       : (0x%4.4lx) ", value); break;
      case FEATURE: o_lprintf(labelColumn, false, "feature    : (0x%2.2lx) ", value); break;
      case AGENT: o_lprintf(labelColumn, false, "agent      : (0x%2.2lx) ", value); break;
      case MAINTENANCE:
        o_lprintf(labelColumn, false, "maintenance: (0x%2.2lx) ", value);
        break;
      case PRIVATE: o_lprintf(labelColumn, false, "private    : (0x%8.8lx) ", value); break;
    }
    o_lstring(filStr.getFilterString(type, *filter), 0, false);
    o_newline(0);
  }
}

void o_monitorFilters(const CSTAMonitorFilter_t* filter, int column, const char* comnt) {
  o_printfilter(filter, "Filters:", column, comnt, false);
}

void doSetFilter() {
  int choice = get_list("Set or Reset which bit", "DTMF", filterNames, true);
  if (choice < 0) return;
  const char* name = filterNames[choice];
  int bit = 1;
  // Held to the bits a mask can have; a shift by more is undefined.
  if (std::strcmp(name + 2, "_BIT") == 0)
    bit = static_cast<int>(i_getNumberInRange("Bit to Set/Reset", 1, 1, 32));
  filStr.setFilter(name, bit);
}

void doSetFilterDefault() { globalFilter = CSTAMonitorFilter_t(); }

void doGetFilter() {
  o_printfilter(&globalFilter, "Current Default Filter:", 2, "", true);
}
