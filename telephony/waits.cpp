#include "telephony/waits.h"

#include "console/input.h"
#include "telephony/stream.h"

long ackCount = 0;
long errCount = 0;
long cstaFailCount = 0;
long msgCount = 0;
long eventsProcessed = 0;

namespace {

struct Watched {
  const long* counter;
  long value;
};

bool counterMoved(const void* context) {
  const Watched* w = static_cast<const Watched*>(context);
  return w->counter && *w->counter != w->value;
}

// The requests whose answers are being waited for (waits nest as polls
// do), each marked when its confirmation or failure is handled.
struct Awaited {
  InvokeID_t id;
  bool answered;
};
Awaited awaited[8];
int awaitedCount = 0;

bool replyArrived(const void* context) {
  return awaited[*static_cast<const int*>(context)].answered;
}

}  // namespace

void noteAnswer(InvokeID_t id) {
  for (int i = 0; i < awaitedCount; ++i)
    if (awaited[i].id == id) awaited[i].answered = true;
}

bool doWatchTime(long seconds, const long* varToWatch, long value) {
  const Watched w = {varToWatch, value};
  return waitUntil(static_cast<double>(seconds), counterMoved, &w);
}

bool waitForReply(InvokeID_t id, double seconds) {
  const int slot = awaitedCount;
  if (slot == static_cast<int>(sizeof awaited / sizeof awaited[0])) {
    pauseNseconds(seconds);  // nested beyond reason: the whole time
    return false;
  }
  awaited[slot] = {id, false};
  ++awaitedCount;
  const bool answered = waitUntil(seconds, replyArrived, &slot);
  --awaitedCount;
  return answered;
}

bool waitForLastReply(double seconds) { return waitForReply(invokeID - 1, seconds); }

void resetWaits() {
  ackCount = errCount = cstaFailCount = msgCount = eventsProcessed = 0;
  awaitedCount = 0;
}
