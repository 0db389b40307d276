// Runs under tests/support/with_private_keyring.sh, which starts a private
// session bus with (WEXMOOR_TEST_SECRET_SERVICE=present) or without a GNOME
// Keyring.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/code_page.h"
#include "settings/password_keyring.h"

namespace wexmoor {
namespace {

using namespace std::chrono_literals;

std::string Mode() {
  const char* mode = std::getenv("WEXMOOR_TEST_SECRET_SERVICE");
  return mode ? mode : "";
}

Text Bus() {
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  return bus ? AsciiToText(bus) : Text();
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

bool SecretsNameOwned() {
  return Shell("dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
             "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets")
             .find("boolean true") != std::string::npos;
}

TEST(SecretServiceKeyring, StoresWhatSecretToolFindsAndReadsItBack) {
  if (Mode() != "present") GTEST_SKIP() << "needs with_private_keyring.sh";
  auto keyring = OpenSecretServiceKeyring(Bus());
  ASSERT_NE(keyring, nullptr);
  const KeyringItem item{u"Home server", u"127.0.0.1/www", u"anna"};
  const Text password = u"p\u00e4ss w\u00f6rd \U0001F511";
  ASSERT_TRUE(keyring->Store(item, password));
  EXPECT_EQ(Shell("secret-tool lookup application wexmoor server 'Home server' address 127.0.0.1/www login anna"),
            Utf16ToUtf8(password));
  EXPECT_EQ(keyring->Lookup(item), password);

  // Storing again replaces; another login is another item.
  ASSERT_TRUE(keyring->Store(item, u"second"));
  EXPECT_EQ(keyring->Lookup(item), Text(u"second"));
  EXPECT_EQ(keyring->Lookup(KeyringItem{u"Home server", u"127.0.0.1/www", u"bert"}), std::nullopt);
  EXPECT_TRUE(keyring->Healthy());
}

TEST(SecretServiceKeyring, AbsentServiceIsNotStarted) {
  if (Mode() != "absent") GTEST_SKIP() << "needs with_private_keyring.sh --no-keyring";
  EXPECT_EQ(OpenSecretServiceKeyring(Bus()), nullptr);
  // The bus could start a keyring daemon on demand; the check must not.
  EXPECT_FALSE(SecretsNameOwned());
  EXPECT_EQ(OpenSecretServiceKeyring(Text()), nullptr);
}

// A service that owns the name but never answers: each call gives up at its
// limit and the keyring is no longer used.
gboolean DropEverything(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
  // Callers reach the name's owner by its unique name, so every call goes.
  if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
    g_object_unref(message);
    return FALSE;
  }
  return TRUE;
}

GDBusMessage* DropFilter(GDBusConnection* c, GDBusMessage* m, gboolean incoming, gpointer data) {
  return DropEverything(c, m, incoming, data) ? m : nullptr;
}

TEST(SecretServiceKeyring, SilentServiceCostsOneBoundedWait) {
  if (Mode() != "absent") GTEST_SKIP() << "needs with_private_keyring.sh --no-keyring";
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  ASSERT_NE(address, nullptr);
  GDBusConnection* silent = g_dbus_connection_new_for_address_sync(
      address, static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  g_free(address);
  ASSERT_NE(silent, nullptr);
  g_dbus_connection_add_filter(silent, DropFilter, nullptr, nullptr);
  GVariant* reply = g_dbus_connection_call_sync(silent, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "RequestName",
                                                g_variant_new("(su)", "org.freedesktop.secrets", 4u), nullptr,
                                                G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
  ASSERT_NE(reply, nullptr);
  g_variant_unref(reply);

  auto keyring = OpenSecretServiceKeyring(Bus(), 300ms);
  ASSERT_NE(keyring, nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(keyring->Store(KeyringItem{u"s", u"a", u"l"}, u"pw"));
  EXPECT_FALSE(keyring->Healthy());
  // Once unhealthy, no further call waits.
  EXPECT_EQ(keyring->Lookup(KeyringItem{u"s", u"a", u"l"}), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  keyring.reset();
  g_object_unref(silent);
}

}  // namespace
}  // namespace wexmoor
