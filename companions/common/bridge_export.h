// How a companion gives several export names to one entry point: each name
// is an alias of the entry, so all of them share one address, on Linux and
// in the Windows export table alike.
#pragma once

#define BRIDGE_ALIAS(entry) __attribute__((alias(#entry)))
