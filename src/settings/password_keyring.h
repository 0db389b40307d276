// Server passwords kept in the desktop's keyring (a Secret Service on the
// session bus) instead of the preference file. The settings code sees only
// this interface; the program supplies the Secret Service one, tests a fake.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "platform/text.h"

namespace wexmoor {

// What identifies a stored password besides the program.
struct KeyringItem {
  Text server;   // the server's name
  Text address;
  Text login;
  bool operator==(const KeyringItem&) const = default;
};

class PasswordKeyring {
 public:
  virtual ~PasswordKeyring() = default;
  // Replaces the password of `item`; false when it could not be stored.
  virtual bool Store(const KeyringItem& item, const Text& password) = 0;
  // The password of `item`; nullopt when there is none or it cannot be read.
  virtual std::optional<Text> Lookup(const KeyringItem& item) = 0;
  // Forgets the password of `item`; false when it could not be removed.
  virtual bool Remove(const KeyringItem& item) = 0;
  // True while no call has failed or timed out; after a failure the settings
  // stop using the keyring for the rest of the run.
  virtual bool Healthy() const = 0;
};

// The Secret Service of the session bus at `sessionBusAddress`, through
// libsecret. nullptr when the address is empty or no Secret Service owns its
// name on the bus (none is started for us). Every call gives up after
// `callLimit`.
std::unique_ptr<PasswordKeyring> OpenSecretServiceKeyring(const Text& sessionBusAddress,
                                                          std::chrono::milliseconds callLimit =
                                                              std::chrono::milliseconds(3000));

}  // namespace wexmoor
