// Monitor-filter vocabulary: the named bits of the five CSTAMonitorFilter_t
// masks, the default filter new monitors get, the commands that edit it, and
// the filter display used by the event formatter.
#pragma once

#include <cstdint>

#include "csta32/include/csta32.h"

// One named filter bit. Each category's table starts with its clear-all name
// and its custom-bit name (whose mask is set by setFilter) and ends with a
// record whose string is null.
struct FILTER {
  const char* string;
  const char* abbreviation;  // "" when none
  std::uint32_t mask;
};

extern FILTER callFilters[];
extern FILTER featureFilters[];
extern FILTER agentFilters[];
extern FILTER maintenanceFilters[];
extern FILTER privateFilters[];

// The names "SET FILTER_INITIAL_VALUE" offers, null-terminated.
extern const char* const filterNames[];

// The filter given to every monitor the operator starts; a set bit keeps that
// event away.
extern CSTAMonitorFilter_t globalFilter;

class FilterString {
 public:
  // Toggles the named bit in globalFilter; a clear-all name clears its whole
  // category. bit (1..32) is used only with a custom-bit name ("CF_BIT" ...).
  // 0 on success, -1 when no category knows the name.
  int setFilter(const char* filter, int bit);

  // Names of the set bits of one category (1 call, 2 feature, 3 agent,
  // 4 maintenance, 5 private) joined by "|"; "" when none; null for another
  // type. The text lives in this object until the next call.
  const char* getFilterString(int type, const CSTAMonitorFilter_t& filter);

 private:
  char filstring[256] = {};
};

extern FilterString filStr;

// Title line and five category lines, each starting with comnt. With
// dIfEmpty false an all-zero filter writes nothing; a null one never writes.
void o_printfilter(const CSTAMonitorFilter_t* filter, const char* title, int column,
                   const char* comnt, bool dIfEmpty);
void o_monitorFilters(const CSTAMonitorFilter_t* filter, int column, const char* comnt);

void doSetFilter();         // SET FILTER_INITIAL_VALUE
void doSetFilterDefault();  // SET RESET_FILTER_INITIAL_VALUE
void doGetFilter();         // GET FILTER
