#include "csta32/test_fake_server.h"

#include <chrono>
#include <condition_variable>
#include <cstring>

EventType_t confirmationType(wire::Op op) {
  switch (op) {
    case wire::Op::MakeCall: return CSTA_MAKE_CALL_CONF;
    case wire::Op::ClearCall: return CSTA_CLEAR_CALL_CONF;
    case wire::Op::ClearConnection: return CSTA_CLEAR_CONNECTION_CONF;
    case wire::Op::AnswerCall: return CSTA_ANSWER_CALL_CONF;
    case wire::Op::HoldCall: return CSTA_HOLD_CALL_CONF;
    case wire::Op::RetrieveCall: return CSTA_RETRIEVE_CALL_CONF;
    case wire::Op::TransferCall: return CSTA_TRANSFER_CALL_CONF;
    case wire::Op::ConferenceCall: return CSTA_CONFERENCE_CALL_CONF;
    case wire::Op::ConsultationCall: return CSTA_CONSULTATION_CALL_CONF;
    case wire::Op::DeflectCall: return CSTA_DEFLECT_CALL_CONF;
    case wire::Op::SnapshotDevice: return CSTA_SNAPSHOT_DEVICE_CONF;
    case wire::Op::SnapshotCall: return CSTA_SNAPSHOT_CALL_CONF;
    case wire::Op::QueryDeviceInfo: return CSTA_QUERY_DEVICE_INFO_CONF;
    case wire::Op::QueryDnd: return CSTA_QUERY_DND_CONF;
    case wire::Op::SetDnd: return CSTA_SET_DND_CONF;
    case wire::Op::QueryMwi: return CSTA_QUERY_MWI_CONF;
    case wire::Op::SetMwi: return CSTA_SET_MWI_CONF;
    case wire::Op::QueryFwd: return CSTA_QUERY_FWD_CONF;
    case wire::Op::MonitorDevice: return CSTA_MONITOR_CONF;
    case wire::Op::MonitorCall: return CSTA_MONITOR_CONF;
    case wire::Op::MonitorStop: return CSTA_MONITOR_STOP_CONF;
    case wire::Op::EscapeService: return CSTA_ESCAPE_SVC_CONF;
    case wire::Op::GetAPICaps: return CSTA_GETAPI_CAPS_CONF;
    default: return 0;
  }
}

std::vector<wire::Event> standardReplies(const wire::Request& r) {
  std::vector<wire::Event> out;
  switch (r.op) {
    case wire::Op::OpenStream:
      if (r.loginID == "bad")
        out.push_back(wire::acsUniversalFailureConf(r.invokeID, TSERVER_BAD_PASSWORD_OR_LOGIN));
      else
        out.push_back(wire::openStreamConf(r.invokeID, "TS2", "fake", "fake", "3.1-12"));
      break;
    case wire::Op::CloseStream:
      out.push_back(wire::acsConfirmation(ACS_CLOSE_STREAM_CONF, r.invokeID));
      break;
    case wire::Op::AbortStream:
    case wire::Op::None:
      break;
    default: {
      wire::Event e = wire::cstaConfirmation(confirmationType(r.op), r.invokeID);
      if (r.op == wire::Op::EscapeService) e.priv = r.priv;
      if (r.op == wire::Op::MakeCall)
        e.ev.event.cstaConfirmation.u.makeCall.newCall = wire::connection(1, r.device.c_str());
      out.push_back(e);
    }
  }
  return out;
}

// ---- FakeHost -------------------------------------------------------------------

std::uint32_t FakeHost::openSession(csta32::FrameSink deliver) {
  std::lock_guard<std::recursive_mutex> lock(m_);
  if (down) return 0;
  sinks_[++last_] = std::move(deliver);
  return last_;
}

void FakeHost::onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len) {
  std::lock_guard<std::recursive_mutex> lock(m_);
  if (!sinks_.count(session)) return;
  wire::Request r;
  if (!wire::decodeRequest(data, len, r)) {
    ++bad_;
    return;
  }
  requests_.push_back(r);
  for (const wire::Event& e : replier(r)) send(session, e);
}

void FakeHost::closeSession(std::uint32_t session) {
  std::lock_guard<std::recursive_mutex> lock(m_);
  sinks_.erase(session);
}

void FakeHost::send(std::uint32_t session, const wire::Event& e) {
  std::vector<std::uint8_t> f;
  if (wire::encodeEvent(e, f)) sendRaw(session, f);
}

void FakeHost::sendRaw(std::uint32_t session, const std::vector<std::uint8_t>& frame) {
  std::lock_guard<std::recursive_mutex> lock(m_);
  auto it = sinks_.find(session);
  if (it != sinks_.end()) it->second(frame.data(), frame.size());
}

void FakeHost::drop(std::uint32_t session) {
  std::lock_guard<std::recursive_mutex> lock(m_);
  auto it = sinks_.find(session);
  if (it == sinks_.end()) return;
  it->second(nullptr, 0);
  sinks_.erase(it);
}

std::uint32_t FakeHost::lastSession() {
  std::lock_guard<std::recursive_mutex> lock(m_);
  return last_;
}

std::size_t FakeHost::sessions() {
  std::lock_guard<std::recursive_mutex> lock(m_);
  return sinks_.size();
}

std::vector<wire::Request> FakeHost::requests() {
  std::lock_guard<std::recursive_mutex> lock(m_);
  return requests_;
}

std::size_t FakeHost::badFrames() {
  std::lock_guard<std::recursive_mutex> lock(m_);
  return bad_;
}

// ---- FakeTcpServer -----------------------------------------------------------------

bool FakeTcpServer::start(int port) {
  listener_ = plat_tcp_listen("127.0.0.1", port, &port_);
  if (listener_ == PLAT_INVALID_SOCKET) return false;
  plat_socket l = listener_;
  acceptor_ = std::thread([this, l] { acceptLoop(l); });
  return true;
}

void FakeTcpServer::stop() {
  if (listener_ != PLAT_INVALID_SOCKET) plat_sock_shutdown(listener_);
  if (acceptor_.joinable()) acceptor_.join();
  if (listener_ != PLAT_INVALID_SOCKET) plat_sock_close(listener_);
  listener_ = PLAT_INVALID_SOCKET;
  std::vector<std::thread> servers;
  {
    std::lock_guard<std::mutex> lock(m_);
    for (plat_socket s : conns_) plat_sock_shutdown(s);
    servers.swap(servers_);
  }
  for (auto& t : servers) t.join();
  std::lock_guard<std::mutex> lock(m_);
  for (plat_socket s : conns_) plat_sock_close(s);
  conns_.clear();
}

void FakeTcpServer::acceptLoop(plat_socket listener) {
  for (;;) {
    plat_socket s = plat_tcp_accept(listener);
    if (s == PLAT_INVALID_SOCKET) return;
    std::lock_guard<std::mutex> lock(m_);
    conns_.push_back(s);
    servers_.emplace_back([this, s] { serve(s); });
  }
}

void FakeTcpServer::serve(plat_socket s) {
  std::vector<std::uint8_t> buf;
  std::uint8_t chunk[4096];
  for (;;) {
    long n = plat_sock_recv(s, chunk, sizeof chunk);
    if (n <= 0) return;
    buf.insert(buf.end(), chunk, chunk + n);
    for (;;) {
      long need = wire::frameLength(buf.data(), buf.size());
      if (need < 0) return;
      if (need == 0 || buf.size() < static_cast<std::size_t>(need)) break;
      wire::Request r;
      bool ok = wire::decodeRequest(buf.data(), static_cast<std::size_t>(need), r);
      buf.erase(buf.begin(), buf.begin() + need);
      if (!ok) return;
      std::vector<std::uint8_t> out;
      for (const wire::Event& e : replier(r)) wire::encodeEvent(e, out);
      if (!out.empty()) plat_sock_send(s, out.data(), out.size());
      std::lock_guard<std::mutex> lock(m_);
      requests_.push_back(r);
      cv_.notify_all();
    }
  }
}

void FakeTcpServer::sendRawToAll(const std::vector<std::uint8_t>& bytes, bool oneByteAtATime) {
  std::lock_guard<std::mutex> lock(m_);
  for (plat_socket s : conns_) {
    if (!oneByteAtATime) {
      plat_sock_send(s, bytes.data(), bytes.size());
      continue;
    }
    for (std::uint8_t b : bytes) plat_sock_send(s, &b, 1);
  }
}

std::size_t FakeTcpServer::connections() {
  std::lock_guard<std::mutex> lock(m_);
  return conns_.size();
}

std::vector<wire::Request> FakeTcpServer::waitForRequests(std::size_t n) {
  // A deadline, so that a request that never comes fails the test, not CTest.
  std::unique_lock<std::mutex> lock(m_);
  cv_.wait_for(lock, std::chrono::seconds(20), [&] { return requests_.size() >= n; });
  return requests_;
}
