// SMDR over TCP: destinations for each record beside the call-log device.
// A serve output listens and hands every record to every connected
// collector; a push output connects out to one collector and keeps
// reconnecting while it is away. Each output and each collector has its own
// bounded queue and its own thread, so the caller only ever enqueues.
#pragma once

#include <string>
#include <vector>

// Records an output keeps while nobody takes them, unless the profile says.
const long kDefaultQueueRecords = 10000;

// Splits "[ADDR:]PORT" (hostRequired false; the address defaults to
// 127.0.0.1, port 0 picks a free one) or "HOST:PORT" (hostRequired true,
// port 1 to 65535). False when the text is not of that form.
bool smdrParseAddress(const char* text, bool hostRequired, std::string* host, int* port);

// Starts serving records (replacing a serve output already running). False,
// with a message waiting, when the value is bad (the running output stays)
// or the port cannot be had (the running output is gone).
bool smdrServeStart(const char* value, long queueRecords);
void smdrServeStop();
// The port a running serve output listens on, 0 when none.
int smdrServePort();
// Waits until the serve output has `n` collectors, at most timeoutMs; false
// when it has not (tests, so that records are sent only once they listen).
bool smdrServeWaitCollectors(int n, unsigned timeoutMs);
// Starts pushing records to a collector (replacing a running push output).
// False, with a message waiting, when the value is bad or the host unknown
// (the running output stays); a collector not listening yet is no failure.
bool smdrPushStart(const char* value, long queueRecords);
void smdrPushStop();
// The values the running outputs were started with, "" when stopped.
std::string smdrServeValue();
std::string smdrPushValue();

// Hands one record (line end included) to every running output. Never waits
// on a collector: a collector whose queue is full is cut.
void smdrOutputsSend(const std::string& record);
// Gives connected collectors up to timeoutMs to take what is queued, then
// stops every output.
void smdrOutputsClose(unsigned timeoutMs);

// What the outputs had to say since the last call (connects, cuts,
// failures), oldest first; error texts begin with '?'. The sender threads
// never print themselves.
std::vector<std::string> smdrOutputsTakeMessages();
// One line per output and per collector: state, records sent, lost, queued.
std::vector<std::string> smdrOutputsStatus();
