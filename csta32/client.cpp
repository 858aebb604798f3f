// The client side of the library: streams, requests and the event queue.
//
// Each stream owns one link to its server. Frames from the server are decoded
// and queued on the thread that brings them: the embedded switch's, or, over
// TCP, the application thread that reads the stream and finds its queue
// empty (it pulls the socket itself, one thread at a time; others wait for
// what it brings). Applications take events with acsGetEventPoll/Block. No
// stream lock is held while calling into a link, because the embedded switch
// may deliver a frame from inside the send.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "platform/platform.h"

namespace csta32 {

namespace {
// Set once, before main, by the embedded transport when the program links it.
std::atomic<SessionHost*> installedEmbedded{nullptr};
}  // namespace

void installEmbeddedHost(SessionHost& host) { installedEmbedded = &host; }

namespace {

const unsigned kConnectTimeoutMs = 5000;
// A closed stream whose last event nobody reads is dropped after this long.
const std::uint64_t kUnreadCloseMs = 5 * 60 * 1000;
// and at most this many of them are kept.
const std::size_t kMaxUnreadClosed = 16;
// Events a stream holds when acsOpenStream's receive queue size is 0.
const std::size_t kDefaultQueue = 16384;

// What an application sees when its server goes away or talks nonsense: the
// failure that makes it give the stream up and open a new one.
wire::Event streamFailedEvent(ACSHandle_t handle) {
  wire::Event e = wire::acsUniversalFailureConf(0, TSERVER_STREAM_FAILED);
  e.ev.eventHeader.acsHandle = handle;
  return e;
}

struct Stream {
  ACSHandle_t handle = 0;
  InvokeIDType_t idType = APP_GEN_ID;
  std::atomic<std::uint32_t> lastInvoke{0};

  std::mutex m;
  std::condition_variable cv;
  std::deque<wire::Event> queue;
  bool opened = false;   // OPEN_STREAM_CONF arrived
  bool ended = false;    // the last event is queued; nothing more comes
  bool closing = false;  // acsCloseStream was accepted
  bool gone = false;     // taken out of the table: the handle is dead
  bool linkReleased = false;  // the link was closed early (see sweep)
  std::uint64_t endedAt = 0;
  std::uint64_t privateDropped = 0;  // events whose private data had no room
  RetCode_t refuse = ACSERR_QUEUE_FULL;
  std::uint32_t refuseCount = 0;
  std::size_t limit = kDefaultQueue;  // events held at most
  bool batched = false;     // the link is pulled, in runs: wake readers after each
  bool wakePending = false;
  bool pulling = false;     // a thread is pulling the link
  std::size_t waiting = 0;  // threads in acsGetEventBlock
  // Held from a request's checks to its send, so that nothing follows the
  // close on the wire. A close that finds it taken leaves its frame here
  // for the sender to pass on: a close never waits on a stuck send.
  std::mutex sendOrder;
  std::vector<std::uint8_t> pendingClose;

  std::unique_ptr<Link> link;

  ~Stream() {
    if (link) link->close();
  }

  InvokeID_t newInvokeID() {
    for (;;) {
      std::uint32_t old = lastInvoke.load();
      std::uint32_t next = old >= 0x7FFFFFFFu ? 1 : old + 1;
      if (lastInvoke.compare_exchange_weak(old, next)) return next;
    }
  }

  // Called by the link for every frame, with (nullptr, 1) after a run of
  // them, and with (nullptr, 0) when it is gone.
  void onFrame(const std::uint8_t* data, std::size_t len) {
    if (!data && len == 1) {
      std::lock_guard<std::mutex> lock(m);
      if (wakePending) cv.notify_all();
      wakePending = false;
      return;
    }
    if (data) {
      int kind = wire::frameKind(data, len);
      if (kind == wire::kControlFrame) {
        wire::Control c;
        if (wire::decodeControl(data, len, c)) {
          std::lock_guard<std::mutex> lock(m);
          refuse = c.refuse;
          refuseCount = c.count;
          return;
        }
      } else if (kind == wire::kEventFrame) {
        wire::Event e;
        // An event no 16-bit buffer size could hold is as bad as garbage.
        if (wire::decodeEvent(data, len, e) && wire::layoutSize(e) <= 0xFFFF) {
          e.ev.eventHeader.acsHandle = handle;
          push(std::move(e));
          return;
        }
      }
    }
    fail();
  }

  void push(wire::Event e) {
    std::lock_guard<std::mutex> lock(m);
    if (ended || gone) return;
    if (!batched && queue.size() >= limit) {
      // Nobody reads: the stream fails, as a server cuts a TCP client that
      // stops reading.
      endWith(streamFailedEvent(handle));
      return;
    }
    if (e.eventClass() == ACSCONFIRMATION) {
      if (e.eventType() == ACS_OPEN_STREAM_CONF) opened = true;
      // The close confirmation and a refused open are a stream's last word.
      if (e.eventType() == ACS_CLOSE_STREAM_CONF ||
          (e.eventType() == ACS_UNIVERSAL_FAILURE_CONF && !opened)) {
        ended = true;
        endedAt = plat_millis();
      }
    }
    queue.push_back(std::move(e));
    if (batched)
      wakePending = true;
    else
      cv.notify_all();
  }

  // With m held.
  void endWith(wire::Event last) {
    queue.push_back(std::move(last));
    ended = true;
    endedAt = plat_millis();
    cv.notify_all();
  }

  void fail() {
    std::lock_guard<std::mutex> lock(m);
    if (ended || gone) return;
    endWith(streamFailedEvent(handle));
  }

  // With m held by `lock`, nobody pulling and the link pulled: reads from
  // the server (waiting for it when `wait`), m let go meanwhile.
  void pullLink(std::unique_lock<std::mutex>& lock, bool wait) {
    pulling = true;
    lock.unlock();
    link->pull(wait);
    lock.lock();
    pulling = false;
    cv.notify_all();  // another reader may take its turn
  }

  // Passes on a close left by acsCloseStream while another thread was
  // sending; sendOrder held.
  void sendPendingClose() {
    std::vector<std::uint8_t> frame;
    {
      std::lock_guard<std::mutex> lock(m);
      frame.swap(pendingClose);
    }
    if (!frame.empty() && !link->send(frame.data(), frame.size())) fail();
  }

  // After letting sendOrder go: a close left meanwhile is not stranded.
  void afterSend() {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(m);
        if (pendingClose.empty()) return;
      }
      std::unique_lock<std::mutex> order(sendOrder, std::try_to_lock);
      if (!order.owns_lock()) return;  // its holder passes it on
      sendPendingClose();
    }
  }
};

typedef std::shared_ptr<Stream> StreamPtr;

struct Table {
  std::mutex m;
  std::map<ACSHandle_t, StreamPtr> streams;
  ACSHandle_t lastHandle = 0;
};

// Never destroyed: streams left open at exit must not close their links
// after the embedded switch is gone.
Table& table() {
  static Table* t = new Table;
  return *t;
}

StreamPtr lookup(ACSHandle_t handle) {
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.m);
  auto it = t.streams.find(handle);
  return it == t.streams.end() ? nullptr : it->second;
}

// Takes a stream out of the table, wakes its readers and ends its link.
void retire(const StreamPtr& s) {
  {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.m);
    auto it = t.streams.find(s->handle);
    if (it == t.streams.end() || it->second != s) return;
    t.streams.erase(it);
  }
  {
    std::lock_guard<std::mutex> lock(s->m);
    s->gone = true;
    s->queue.clear();
    s->cv.notify_all();
  }
  if (s->link) s->link->close();
}

// A stream that has ended needs its link no more, but the application may
// never read its last event (a channel that closes without waiting for the
// confirmation, or a program that connects again over an open stream):
// release such links. The events of a closed stream are kept for a late
// reader only for the latest few such streams, and not for long.
// Runs when a stream opens, never inside a link's sink.
void sweep() {
  std::vector<StreamPtr> release, drop, closed, unread;
  {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.m);
    for (auto& entry : t.streams)
      if (entry.second->batched) unread.push_back(entry.second);
  }
  // A pulled stream hears of its close confirmation only when it is read.
  for (const StreamPtr& s : unread) {
    std::unique_lock<std::mutex> sl(s->m);
    if (s->closing && !s->ended && !s->gone && !s->pulling) s->pullLink(sl, false);
  }
  std::uint64_t now = plat_millis();
  {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.m);
    for (auto& entry : t.streams) {
      const StreamPtr& s = entry.second;
      std::lock_guard<std::mutex> sl(s->m);
      if (!s->ended) continue;
      if (s->closing && now - s->endedAt > kUnreadCloseMs) {
        drop.push_back(s);
        continue;
      }
      if (s->closing) closed.push_back(s);
      if (!s->linkReleased) {
        s->linkReleased = true;
        release.push_back(s);
      }
    }
  }
  if (closed.size() > kMaxUnreadClosed) {
    // Handles grow with time: the oldest closes go first.
    std::sort(closed.begin(), closed.end(),
              [](const StreamPtr& a, const StreamPtr& b) { return a->handle < b->handle; });
    drop.insert(drop.end(), closed.begin(), closed.end() - kMaxUnreadClosed);
  }
  for (const StreamPtr& s : release) s->link->close();
  for (const StreamPtr& s : drop) retire(s);
}

std::string boundedString(const char* s, std::size_t width) {
  if (!s) return std::string();
  std::size_t n = 0;
  while (n < width && s[n]) ++n;
  return std::string(s, n);
}

// Checks a caller's text argument: null counts as empty; longer than
// maxLen is refused.
bool takeText(const char* s, std::size_t maxLen, std::string& out) {
  out = boundedString(s, maxLen + 1);
  return out.size() <= maxLen;
}

RetCode_t echoID(InvokeID_t id) {
  return id <= 0x7FFFFFFFu ? static_cast<RetCode_t>(id) : ACSPOSITIVE_ACK;
}

RetCode_t sendRequest(ACSHandle_t handle, InvokeID_t invokeID, wire::Request& r,
                      const PrivateData_t* priv) {
  StreamPtr s = lookup(handle);
  if (!s) return ACSERR_BADHDL;
  if (priv) {
    if (priv->length > wire::kMaxPrivate) return ACSERR_BADPARAMETER;
    wire::setPrivate(r.priv, priv);
  }
  const bool isClose = r.op == wire::Op::CloseStream;
  {
    // A stream closing behind a stuck send refuses at once.
    std::lock_guard<std::mutex> lock(s->m);
    if (s->gone || s->closing) return ACSERR_BADHDL;
  }
  std::unique_lock<std::mutex> order(s->sendOrder, std::defer_lock);
  // A close does not queue up behind a send that may be stuck.
  if (isClose)
    order.try_lock();
  else
    order.lock();
  {
    std::lock_guard<std::mutex> lock(s->m);
    if (s->gone || s->closing) return ACSERR_BADHDL;
    if (s->ended) {
      // Closing a failed stream: nothing to send, but the application is
      // done with it (see sweep).
      if (isClose) s->closing = true;
      return ACSERR_STREAM_FAILED;
    }
    if (s->refuseCount > 0) {
      --s->refuseCount;
      return s->refuse;
    }
    // Events nobody reads: the application must take some first.
    if (!isClose && s->queue.size() >= s->limit) return ACSERR_QUEUE_FULL;
  }
  InvokeID_t id = s->idType == LIB_GEN_ID ? s->newInvokeID() : invokeID;
  r.invokeID = id;
  std::vector<std::uint8_t> frame;
  if (!wire::encodeRequest(r, frame)) return ACSERR_BADPARAMETER;
  if (isClose) {
    std::lock_guard<std::mutex> lock(s->m);
    if (s->closing) return ACSERR_BADHDL;  // a concurrent close came first
    s->closing = true;
    if (!order.owns_lock()) {
      s->pendingClose.swap(frame);
    }
  }
  if (!order.owns_lock()) {
    s->afterSend();
    return echoID(id);
  }
  bool sent = s->link->send(frame.data(), frame.size());
  if (sent) s->sendPendingClose();
  order.unlock();
  if (!sent) {
    s->fail();
    return ACSERR_STREAM_FAILED;
  }
  s->afterSend();
  return echoID(id);
}

RetCode_t deviceRequest(wire::Op op, ACSHandle_t handle, InvokeID_t invokeID,
                        const char* device, const PrivateData_t* priv) {
  wire::Request r;
  r.op = op;
  r.device = boundedString(device, sizeof(DeviceID_t));
  return sendRequest(handle, invokeID, r, priv);
}

RetCode_t callRequest(wire::Op op, ACSHandle_t handle, InvokeID_t invokeID,
                      const ConnectionID_t* call, const PrivateData_t* priv) {
  if (!call) return ACSERR_BADPARAMETER;
  wire::Request r;
  r.op = op;
  r.call = *call;
  return sendRequest(handle, invokeID, r, priv);
}

// A server that keeps sending such data must not fill the error output:
// the first few drops are told one by one, then every thousandth.
void reportDroppedPrivate(Stream& s, const wire::Event& e, std::size_t room) {
  const std::uint64_t n = ++s.privateDropped;
  if (n > 8 && n % 1000 != 0) return;
  std::fprintf(stderr,
               "csta32: stream %lu: private data of %lu bytes dropped from event type %d (room for %lu); "
               "%llu dropped so far\n",
               static_cast<unsigned long>(s.handle), static_cast<unsigned long>(e.priv.data.size()),
               static_cast<int>(e.eventType()), static_cast<unsigned long>(room),
               static_cast<unsigned long long>(n));
}

RetCode_t getEvent(ACSHandle_t handle, void* eventBuf, std::uint16_t* eventBufSize,
                   PrivateData_t* privateData, std::uint16_t* numEvents, bool block) {
  if (!eventBuf || !eventBufSize) return ACSERR_BADPARAMETER;
  StreamPtr s = lookup(handle);
  if (!s) return ACSERR_BADHDL;
  std::unique_lock<std::mutex> lock(s->m);
  bool pulled = false;
  for (;;) {
    if (s->gone) return ACSERR_BADHDL;
    if (!s->queue.empty()) break;
    if (s->ended) {
      lock.unlock();
      retire(s);
      return ACSERR_BADHDL;
    }
    if (s->batched && !s->pulling && (block || !pulled)) {
      // This thread reads the server itself.
      if (block) ++s->waiting;
      s->pullLink(lock, block);
      if (block) --s->waiting;
      pulled = true;
      continue;
    }
    if (!block) return ACSERR_NOMESSAGE;
    ++s->waiting;
    s->cv.wait(lock);
    --s->waiting;
  }
  const wire::Event& e = s->queue.front();
  std::size_t need = wire::layoutSize(e);
  if (need > *eventBufSize) {
    *eventBufSize = static_cast<std::uint16_t>(need);
    return ACSERR_UBUFSMALL;
  }
  // The caller states its private room in `length`; never write past it.
  // Private data that does not fit is dropped, with a message, and the event
  // goes on: kept back, it would stop the stream for good, as nothing makes
  // the caller's room grow.
  const bool dropPrivate = privateData && e.priv.present && e.priv.data.size() > privateData->length;
  if (!wire::layoutEvent(e, eventBuf, *eventBufSize)) return ACSERR_UBUFSMALL;
  *eventBufSize = static_cast<std::uint16_t>(need);
  if (dropPrivate) reportDroppedPrivate(*s, e, privateData->length);
  if (privateData) {
    std::size_t n = 0;
    if (e.priv.present && !dropPrivate) {
      std::memcpy(privateData->vendor, e.priv.vendor, sizeof privateData->vendor);
      n = e.priv.data.size();
      if (n)
        std::memcpy(reinterpret_cast<char*>(privateData) + PRIVATE_DATA_HEADER,
                    e.priv.data.data(), n);
    }
    privateData->length = static_cast<std::uint16_t>(n);
  }
  s->queue.pop_front();
  if (numEvents)
    *numEvents = static_cast<std::uint16_t>(std::min<std::size_t>(s->queue.size(), 0xFFFF));
  bool finished = s->ended && s->queue.empty();
  lock.unlock();
  if (finished) retire(s);
  return ACSPOSITIVE_ACK;
}

}  // namespace

std::size_t waitingReaders(std::uint32_t handle) {
  StreamPtr s = lookup(handle);
  if (!s) return 0;
  std::lock_guard<std::mutex> lock(s->m);
  return s->waiting;
}

std::size_t streamCount() {
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.m);
  return t.streams.size();
}

void abortAllStreams() {
  std::vector<StreamPtr> all;
  {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.m);
    for (auto& entry : t.streams) all.push_back(entry.second);
  }
  for (const StreamPtr& s : all) retire(s);
}

}  // namespace csta32

using namespace csta32;

RetCode_t acsOpenStream(ACSHandle_t* acsHandle, InvokeIDType_t invokeIDType,
                        InvokeID_t invokeID, StreamType_t streamType,
                        const char* serverID, const char* loginID, const char* passwd,
                        const char* applicationName, Level_t acsLevelReq,
                        const char* apiVer, std::uint16_t /*sendQSize*/,
                        std::uint16_t /*sendExtraBufs*/, std::uint16_t recvQSize,
                        std::uint16_t /*recvExtraBufs*/, const PrivateData_t* privateData) {
  if (!acsHandle) return ACSERR_BADPARAMETER;
  if (streamType != ST_CSTA) return ACSERR_BADPARAMETER;
  if (invokeIDType != APP_GEN_ID && invokeIDType != LIB_GEN_ID) return ACSERR_BADPARAMETER;
  wire::Request r;
  r.op = wire::Op::OpenStream;
  r.level = acsLevelReq;
  if (!takeText(serverID, sizeof(ServerID_t) - 1, r.serverID) ||
      !takeText(loginID, sizeof(LoginID_t) - 1, r.loginID) ||
      !takeText(passwd, sizeof(Passwd_t) - 1, r.password) ||
      !takeText(applicationName, sizeof(AppName_t) - 1, r.appName) ||
      !takeText(apiVer, sizeof(Version_t) - 1, r.apiVersion))
    return ACSERR_BADPARAMETER;
  if (privateData) {
    if (privateData->length > wire::kMaxPrivate) return ACSERR_BADPARAMETER;
    wire::setPrivate(r.priv, privateData);
  }

  sweep();
  SessionHost* local = findLocalHost(r.serverID);
  ServerEntry where;
  if (!local && !findServer(r.serverID.c_str(), where)) return ACSERR_NOSERVER;

  StreamPtr s = std::make_shared<Stream>();
  s->idType = invokeIDType;
  if (recvQSize) s->limit = recvQSize;
  {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.m);
    do {
      ++t.lastHandle;
    } while (t.lastHandle == 0 || t.lastHandle == 0xFFFFFFFFu);
    s->handle = t.lastHandle;
  }
  // The stream outlives its link (the link is closed before the stream goes),
  // so the sink may keep a plain pointer.
  Stream* raw = s.get();
  FrameSink sink = [raw](const std::uint8_t* d, std::size_t n) { raw->onFrame(d, n); };
  if (local)
    s->link = openSessionLink(*local, sink);
  else if (where.embedded && installedEmbedded.load())
    s->link = openSessionLink(*installedEmbedded.load(), sink);
  else if (where.embedded)
    s->link = nullptr;
  else
    s->link = openTcpLink(where.host, where.port, kConnectTimeoutMs, sink);
  if (!s->link) return ACSERR_NOSERVER;
  s->batched = s->link->pulled();

  InvokeID_t id = invokeIDType == LIB_GEN_ID ? s->newInvokeID() : invokeID;
  r.invokeID = id;
  std::vector<std::uint8_t> frame;
  if (!wire::encodeRequest(r, frame)) return ACSERR_BADPARAMETER;
  {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.m);
    t.streams[s->handle] = s;
  }
  if (!s->link->send(frame.data(), frame.size())) {
    retire(s);
    return ACSERR_NOSERVER;
  }
  *acsHandle = s->handle;
  return echoID(id);
}

RetCode_t acsCloseStream(ACSHandle_t acsHandle, InvokeID_t invokeID,
                         const PrivateData_t* privateData) {
  wire::Request r;
  r.op = wire::Op::CloseStream;
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t acsAbortStream(ACSHandle_t acsHandle, const PrivateData_t* /*privateData*/) {
  StreamPtr s = lookup(acsHandle);
  if (!s) return ACSERR_BADHDL;
  // Tell the server when it can still hear; the link's end says the rest.
  bool live;
  {
    std::lock_guard<std::mutex> lock(s->m);
    live = !s->ended && !s->gone;
  }
  if (live) {
    wire::Request r;
    r.op = wire::Op::AbortStream;
    std::vector<std::uint8_t> frame;
    // Never behind a stuck send: then the link's end says it all.
    if (wire::encodeRequest(r, frame)) s->link->sendNoWait(frame.data(), frame.size());
  }
  retire(s);
  return ACSPOSITIVE_ACK;
}

RetCode_t acsGetEventPoll(ACSHandle_t acsHandle, void* eventBuf, std::uint16_t* eventBufSize,
                          PrivateData_t* privateData, std::uint16_t* numEvents) {
  return getEvent(acsHandle, eventBuf, eventBufSize, privateData, numEvents, false);
}

RetCode_t acsGetEventBlock(ACSHandle_t acsHandle, void* eventBuf, std::uint16_t* eventBufSize,
                           PrivateData_t* privateData, std::uint16_t* numEvents) {
  return getEvent(acsHandle, eventBuf, eventBufSize, privateData, numEvents, true);
}

RetCode_t cstaMakeCall(ACSHandle_t acsHandle, InvokeID_t invokeID, const char* callingDevice,
                       const char* calledDevice, const PrivateData_t* privateData) {
  wire::Request r;
  r.op = wire::Op::MakeCall;
  r.device = boundedString(callingDevice, sizeof(DeviceID_t));
  r.device2 = boundedString(calledDevice, sizeof(DeviceID_t));
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaClearCall(ACSHandle_t acsHandle, InvokeID_t invokeID, const ConnectionID_t* call,
                        const PrivateData_t* privateData) {
  return callRequest(wire::Op::ClearCall, acsHandle, invokeID, call, privateData);
}

RetCode_t cstaClearConnection(ACSHandle_t acsHandle, InvokeID_t invokeID,
                              const ConnectionID_t* call, const PrivateData_t* privateData) {
  return callRequest(wire::Op::ClearConnection, acsHandle, invokeID, call, privateData);
}

RetCode_t cstaAnswerCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                         const ConnectionID_t* alertingCall, const PrivateData_t* privateData) {
  return callRequest(wire::Op::AnswerCall, acsHandle, invokeID, alertingCall, privateData);
}

RetCode_t cstaHoldCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                       const ConnectionID_t* activeCall, Boolean reservation,
                       const PrivateData_t* privateData) {
  if (!activeCall) return ACSERR_BADPARAMETER;
  wire::Request r;
  r.op = wire::Op::HoldCall;
  r.call = *activeCall;
  r.flag = reservation != 0;
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaRetrieveCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                           const ConnectionID_t* heldCall, const PrivateData_t* privateData) {
  return callRequest(wire::Op::RetrieveCall, acsHandle, invokeID, heldCall, privateData);
}

static RetCode_t twoCallRequest(wire::Op op, ACSHandle_t acsHandle, InvokeID_t invokeID,
                                const ConnectionID_t* heldCall,
                                const ConnectionID_t* activeCall,
                                const PrivateData_t* privateData) {
  if (!heldCall || !activeCall) return ACSERR_BADPARAMETER;
  wire::Request r;
  r.op = op;
  r.call = *heldCall;
  r.call2 = *activeCall;
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaTransferCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                           const ConnectionID_t* heldCall, const ConnectionID_t* activeCall,
                           const PrivateData_t* privateData) {
  return twoCallRequest(wire::Op::TransferCall, acsHandle, invokeID, heldCall, activeCall,
                        privateData);
}

RetCode_t cstaConferenceCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                             const ConnectionID_t* heldCall, const ConnectionID_t* activeCall,
                             const PrivateData_t* privateData) {
  return twoCallRequest(wire::Op::ConferenceCall, acsHandle, invokeID, heldCall, activeCall,
                        privateData);
}

static RetCode_t callAndDevice(wire::Op op, ACSHandle_t acsHandle, InvokeID_t invokeID,
                               const ConnectionID_t* call, const char* device,
                               const PrivateData_t* privateData) {
  if (!call) return ACSERR_BADPARAMETER;
  wire::Request r;
  r.op = op;
  r.call = *call;
  r.device = boundedString(device, sizeof(DeviceID_t));
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaConsultationCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                               const ConnectionID_t* activeCall, const char* calledDevice,
                               const PrivateData_t* privateData) {
  return callAndDevice(wire::Op::ConsultationCall, acsHandle, invokeID, activeCall,
                       calledDevice, privateData);
}

RetCode_t cstaDeflectCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                          const ConnectionID_t* deflectCall, const char* calledDevice,
                          const PrivateData_t* privateData) {
  return callAndDevice(wire::Op::DeflectCall, acsHandle, invokeID, deflectCall, calledDevice,
                       privateData);
}

RetCode_t cstaSnapshotDeviceReq(ACSHandle_t acsHandle, InvokeID_t invokeID,
                                const char* snapshotObject, const PrivateData_t* privateData) {
  return deviceRequest(wire::Op::SnapshotDevice, acsHandle, invokeID, snapshotObject,
                       privateData);
}

RetCode_t cstaSnapshotCallReq(ACSHandle_t acsHandle, InvokeID_t invokeID,
                              const ConnectionID_t* snapshotObject,
                              const PrivateData_t* privateData) {
  return callRequest(wire::Op::SnapshotCall, acsHandle, invokeID, snapshotObject, privateData);
}

RetCode_t cstaQueryDeviceInfo(ACSHandle_t acsHandle, InvokeID_t invokeID, const char* device,
                              const PrivateData_t* privateData) {
  return deviceRequest(wire::Op::QueryDeviceInfo, acsHandle, invokeID, device, privateData);
}

RetCode_t cstaQueryDoNotDisturb(ACSHandle_t acsHandle, InvokeID_t invokeID, const char* device,
                                const PrivateData_t* privateData) {
  return deviceRequest(wire::Op::QueryDnd, acsHandle, invokeID, device, privateData);
}

RetCode_t cstaSetDoNotDisturb(ACSHandle_t acsHandle, InvokeID_t invokeID, const char* device,
                              Boolean doNotDisturb, const PrivateData_t* privateData) {
  wire::Request r;
  r.op = wire::Op::SetDnd;
  r.device = boundedString(device, sizeof(DeviceID_t));
  r.flag = doNotDisturb != 0;
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaQueryMsgWaitingInd(ACSHandle_t acsHandle, InvokeID_t invokeID,
                                 const char* device, const PrivateData_t* privateData) {
  return deviceRequest(wire::Op::QueryMwi, acsHandle, invokeID, device, privateData);
}

RetCode_t cstaSetMsgWaitingInd(ACSHandle_t acsHandle, InvokeID_t invokeID, const char* device,
                               Boolean messages, const PrivateData_t* privateData) {
  wire::Request r;
  r.op = wire::Op::SetMwi;
  r.device = boundedString(device, sizeof(DeviceID_t));
  r.flag = messages != 0;
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaQueryForwarding(ACSHandle_t acsHandle, InvokeID_t invokeID, const char* device,
                              const PrivateData_t* privateData) {
  return deviceRequest(wire::Op::QueryFwd, acsHandle, invokeID, device, privateData);
}

RetCode_t cstaGetAPICaps(ACSHandle_t acsHandle, InvokeID_t invokeID) {
  wire::Request r;
  r.op = wire::Op::GetAPICaps;
  return sendRequest(acsHandle, invokeID, r, nullptr);
}

RetCode_t cstaMonitorDevice(ACSHandle_t acsHandle, InvokeID_t invokeID, const char* deviceID,
                            const CSTAMonitorFilter_t* monitorFilter,
                            const PrivateData_t* privateData) {
  wire::Request r;
  r.op = wire::Op::MonitorDevice;
  r.device = boundedString(deviceID, sizeof(DeviceID_t));
  if (monitorFilter) r.filter = *monitorFilter;
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaMonitorCall(ACSHandle_t acsHandle, InvokeID_t invokeID, const ConnectionID_t* call,
                          const CSTAMonitorFilter_t* monitorFilter,
                          const PrivateData_t* privateData) {
  if (!call) return ACSERR_BADPARAMETER;
  wire::Request r;
  r.op = wire::Op::MonitorCall;
  r.call = *call;
  if (monitorFilter) r.filter = *monitorFilter;
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaMonitorStop(ACSHandle_t acsHandle, InvokeID_t invokeID,
                          CSTAMonitorCrossRefID_t monitorCrossRefID,
                          const PrivateData_t* privateData) {
  wire::Request r;
  r.op = wire::Op::MonitorStop;
  r.crossRefID = monitorCrossRefID;
  return sendRequest(acsHandle, invokeID, r, privateData);
}

RetCode_t cstaEscapeService(ACSHandle_t acsHandle, InvokeID_t invokeID,
                            const PrivateData_t* privateData) {
  if (!privateData) return ACSERR_BADPARAMETER;
  wire::Request r;
  r.op = wire::Op::EscapeService;
  return sendRequest(acsHandle, invokeID, r, privateData);
}
