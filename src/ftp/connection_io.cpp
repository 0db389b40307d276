#include "ftp/connection_io.h"

namespace wexmoor {

long ConnectionSend(FtpSession& session, int handle, const void* data, std::size_t size) {
  if (TlsStream* tls = session.TlsOf(handle)) return tls->WriteSome(data, size);
  return SendSome(handle, data, size);
}

long ConnectionSendAll(FtpSession& session, int handle, const void* data, std::size_t size, int timeoutMs) {
  TlsStream* tls = session.TlsOf(handle);
  if (tls == nullptr) return SendAll(handle, data, size, timeoutMs, session.StopToken());
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const long n = tls->WriteSome(bytes + done, size - done);
    if (n < 0) break;
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (tls->WaitWritable(timeoutMs, session.StopToken()) != WaitResult::kReady) break;
  }
  if (done == 0 && size > 0) return -1;
  return static_cast<long>(done);
}

WaitResult ConnectionWaitReadable(FtpSession& session, int handle, int timeoutMs) {
  if (TlsStream* tls = session.TlsOf(handle)) return tls->WaitReadable(timeoutMs, session.StopToken());
  return WaitReadable(handle, timeoutMs, session.StopToken());
}

WaitResult ConnectionWaitWritable(FtpSession& session, int handle, int timeoutMs) {
  if (TlsStream* tls = session.TlsOf(handle)) return tls->WaitWritable(timeoutMs, session.StopToken());
  return WaitWritable(handle, timeoutMs, session.StopToken());
}

long ConnectionReceive(FtpSession& session, int handle, void* buffer, std::size_t size) {
  TlsStream* tls = session.TlsOf(handle);
  if (tls == nullptr) return ReceiveSome(handle, buffer, size);
  const long n = tls->ReadSome(buffer, size);
  if (n > 0) return n;
  return n == 0 ? kNothingYet : 0;
}

}  // namespace wexmoor
