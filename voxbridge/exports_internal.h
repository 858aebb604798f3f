// The channel table seen from tests.
#pragma once

#include <cstddef>

namespace vox {

class DialogicChannel;

DialogicChannel* channelForTests(int handle);
std::size_t channelSlotsForTests();

}  // namespace vox
