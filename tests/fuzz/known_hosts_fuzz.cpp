// A hostile known_hosts file: every line goes through libssh2's reader and
// the look-up must end with a verdict, whatever the text.
#include <libssh2.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sftp/host_key_trust.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LIBSSH2_SESSION* session = libssh2_session_init();
  if (session == nullptr) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // An ed25519 key blob (type name and 32 key bytes) to look for.
  static const std::string_view kKey("\0\0\0\x0bssh-ed25519\0\0\0\x20"
                                     "0123456789abcdef0123456789abcdef",
                                     51);
  (void)CheckKnownHosts(session, text, "127.0.0.1", 2222, kKey, LIBSSH2_HOSTKEY_TYPE_ED25519);
  (void)CheckKnownHosts(session, text, "host", 22, kKey, LIBSSH2_HOSTKEY_TYPE_ED25519);
  libssh2_session_free(session);
  return 0;
}
