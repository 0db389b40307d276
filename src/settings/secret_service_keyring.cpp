// PasswordKeyring on a Secret Service through libsecret. libsecret's calls
// wait on the session bus, which can hang (a service that never answers, an
// unlock prompt nobody sees), so each call carries a GCancellable that a
// guard thread cancels when the call's time is up.
#include <libsecret/secret.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/code_page.h"
#include "settings/password_keyring.h"

namespace wexmoor {
namespace {

constexpr char kSecretServiceName[] = "org.freedesktop.secrets";
constexpr char kApplication[] = "wexmoor";

// Cancels its GCancellable when the limit passes before it is destroyed.
class CallGuard {
 public:
  explicit CallGuard(std::chrono::milliseconds limit) : cancellable_(g_cancellable_new()) {
    thread_ = std::jthread([this, limit](std::stop_token stop) {
      std::mutex m;
      std::condition_variable_any cv;
      std::unique_lock lock(m);
      cv.wait_for(lock, stop, limit, [] { return false; });
      if (!stop.stop_requested()) {
        g_cancellable_cancel(cancellable_);
      }
    });
  }
  ~CallGuard() {
    thread_.request_stop();
    thread_.join();
    g_object_unref(cancellable_);
  }
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;

  GCancellable* Cancellable() const { return cancellable_; }

 private:
  GCancellable* cancellable_;
  std::jthread thread_;
};

// True when a Secret Service owns its name on the session bus. Asked without
// activation, so that no keyring daemon is started (and left running) for us.
bool SecretServiceRuns(std::chrono::milliseconds limit) {
  CallGuard guard(limit);
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, guard.Cancellable(), &error);
  if (!bus) {
    g_clear_error(&error);
    return false;
  }
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", kSecretServiceName), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
      static_cast<int>(limit.count()), guard.Cancellable(), &error);
  g_object_unref(bus);
  if (!reply) {
    g_clear_error(&error);
    return false;
  }
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  g_variant_unref(reply);
  return owned != FALSE;
}

class SecretServiceKeyring final : public PasswordKeyring {
 public:
  explicit SecretServiceKeyring(std::chrono::milliseconds limit) : limit_(limit) {
    schema_.name = "io.wexmoor.Wexmoor.Password";
    schema_.flags = SECRET_SCHEMA_NONE;
    schema_.attributes[0] = {"application", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema_.attributes[1] = {"server", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema_.attributes[2] = {"address", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema_.attributes[3] = {"login", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema_.attributes[4] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
  }

  ~SecretServiceKeyring() override {
    // Closes libsecret's shared connection to the service.
    secret_service_disconnect();
  }

  bool Store(const KeyringItem& item, const Text& password) override {
    if (!healthy_) return false;
    const std::string server = Utf16ToUtf8(item.server), address = Utf16ToUtf8(item.address),
                      login = Utf16ToUtf8(item.login), secret = Utf16ToUtf8(password);
    const std::string label = "Wexmoor password for " + server;
    CallGuard guard(limit_);
    GError* error = nullptr;
    const gboolean stored = secret_password_store_sync(
        &schema_, SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(), guard.Cancellable(), &error,
        "application", kApplication, "server", server.c_str(), "address", address.c_str(), "login", login.c_str(),
        nullptr);
    return Settle(stored != FALSE, error);
  }

  std::optional<Text> Lookup(const KeyringItem& item) override {
    if (!healthy_) return std::nullopt;
    const std::string server = Utf16ToUtf8(item.server), address = Utf16ToUtf8(item.address),
                      login = Utf16ToUtf8(item.login);
    CallGuard guard(limit_);
    GError* error = nullptr;
    gchar* found = secret_password_lookup_sync(&schema_, guard.Cancellable(), &error, "application", kApplication,
                                               "server", server.c_str(), "address", address.c_str(), "login",
                                               login.c_str(), nullptr);
    if (!Settle(error == nullptr, error) || !found) return std::nullopt;
    Text password = Utf8ToUtf16(found);
    secret_password_free(found);
    return password;
  }

  bool Remove(const KeyringItem& item) override {
    if (!healthy_) return false;
    const std::string server = Utf16ToUtf8(item.server), address = Utf16ToUtf8(item.address),
                      login = Utf16ToUtf8(item.login);
    CallGuard guard(limit_);
    GError* error = nullptr;
    // FALSE without an error only says there was nothing to remove.
    secret_password_clear_sync(&schema_, guard.Cancellable(), &error, "application", kApplication, "server",
                               server.c_str(), "address", address.c_str(), "login", login.c_str(), nullptr);
    return Settle(true, error);
  }

  bool Healthy() const override { return healthy_; }

 private:
  bool Settle(bool ok, GError* error) {
    if (error) {
      healthy_ = false;
      g_error_free(error);
      return false;
    }
    if (!ok) healthy_ = false;
    return ok;
  }

  std::chrono::milliseconds limit_;
  SecretSchema schema_{};
  bool healthy_ = true;
};

}  // namespace

std::unique_ptr<PasswordKeyring> OpenSecretServiceKeyring(const Text& sessionBusAddress,
                                                          std::chrono::milliseconds callLimit) {
  if (sessionBusAddress.empty() || !SecretServiceRuns(callLimit)) return nullptr;
  return std::make_unique<SecretServiceKeyring>(callLimit);
}

}  // namespace wexmoor
