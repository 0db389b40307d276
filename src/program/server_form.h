// The server settings form without any window: the field texts and states,
// how a slot fills them, how they read back into a record, cloning another
// server, and the browser's address steps (listing, parent folder, a click on
// a listed row). The dialog only moves these values in and out of its controls.
#pragma once

#include <optional>
#include <vector>

#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// The form's fields as the dialog's controls hold them.
struct ServerForm {
  Text name;
  Text address;
  Text login;
  Text password;
  Text port;     // decimal
  Text timeOut;  // whole seconds, decimal
  Text connections;  // sessions at once, decimal
  bool active = false;
  bool ipRouter = false;
  bool useUtf8 = false;
  bool useUtf8Opt = false;
  // The protocol drop-down's position: the record's `protocol`.
  int protocol = 0;
  // Not shown: the trusted certificate's fingerprint goes through unchanged.
  Text fingerprint;
  // Not shown either: the record's "store under a temporary name" choice
  // goes through unchanged (1 for a new server).
  int tempName = 1;
  // The web address that serves the server's folder ("" none).
  Text webAddress;
  // Not shown: whether the server's hash is checked goes through unchanged.
  int verify = 1;
  // Not shown: one command at a time or several in one write, unchanged.
  int pipelining = 1;
};

// The protocol a server made in the dialog starts with: FTP with TLS when the
// server offers it.
inline constexpr int kNewServerProtocol = 1;

inline constexpr int kDefaultPort = 21;
inline constexpr int kImplicitTlsPort = 990;
inline constexpr int kSftpPort = 22;
inline constexpr int kHttpsPort = 443;
inline constexpr int kHttpPort = 80;
inline constexpr int kDefaultTimeOutMs = 10000;

// The slot an edit works on: `slot` itself when it is 1..50, for -1 the first
// slot whose name is empty; 0 when there is none (50 servers configured) or the
// number is out of range.
int SlotToEdit(const ServerTable& servers, int slot);

// The form showing `record` (time-out in whole seconds).
ServerForm FormFromRecord(const ServerRecord& record);

// Writes the defaults into the slot itself (port 0 becomes 21, time-out 0
// becomes 10000 ms, an empty slot gets kNewServerProtocol), then returns the
// form showing it.
ServerForm OpenSlotForm(ServerTable& servers, int slot);

// The address field after its clean-up: when it holds "//" with at least two
// characters after it, everything up to and including that first "//" goes
// (a typed "ftp://" disappears, "ftp://" alone stays).
Text CleanAddressField(TextView address);

// Reads the form into a record, in the form's order. The address field is
// cleaned in the form itself, as the dialog shows it afterwards. Numbers that
// are not numbers give 0; values beyond 32 bits are held at the limit.
ServerRecord ReadServerForm(ServerForm& form);

// Puts the values of `source` into the form, the name followed by "2".
void CloneIntoForm(const ServerRecord& source, ServerForm& form);

// The address handed to the listing: every "ftp://" removed, spaces trimmed
// at both ends, every "//" made "/".
Text ListingAddress(TextView address);

// Whether the parent-folder button shows its normal (true) or greyed picture.
bool HasParentFolder(TextView address);

// The address one level up: the text before its last "/"; nothing without "/".
std::optional<Text> ParentFolderAddress(TextView address);

// The address a click on a listed row leads to: address + "/" + row, when the
// row names a folder (not empty, not the error row, not an engine error text
// beginning with "!!", no "."); nothing otherwise (the selection is cleared).
std::optional<Text> FolderRowAddress(TextView address, TextView row, TextView errorRowText);

enum class RowPicture { kNone, kFolder, kFile };

struct ListingRow {
  Text text;
  RowPicture picture = RowPicture::kNone;
};

// The rows of a listing result (names each followed by "|") or of an engine
// error text: one row per piece, in order; an error text ("!!…") gets no
// picture, a name with a "." the file picture, any other name the folder one.
std::vector<ListingRow> ListingRows(TextView listing);

// UTF-8 percent-encoding of everything but letters, digits and "-._~".
Text PercentEncode(TextView text);

// The "ftp://" address that opens `server` in the web browser: login and
// password percent-encoded, the port added when it is not 21, back-slashes of
// the address made "/"; "ftps://" for implicit TLS (its port added when it is
// not 990). Empty when the server has no address. WebDAV servers get their
// "https://" or "http://" address without the login.
Text BuildBrowserAddress(const ServerRecord& server);

// Whether the FTP connection options (Active/Passive, the router address, the
// two UTF-8 boxes) apply to `protocol`. WebDAV's connections are HTTP's and its
// names always go percent-encoded UTF-8, so the dialog greys them out there.
bool UsesFtpConnectionOptions(int protocol);

// The protocol choice's name for WebDAV over plain HTTP ("WebDAV (no
// encryption)"), from the translated name of plain FTP, whose words it shares.
Text WebDavPlainProtocolName(TextView plainFtpName);

// One edit of a slot, from opening to "OK" or "Cancel", without the window.
class ServerEditor {
 public:
  // Opens slot `slot` (-1: a new server) and writes the defaults into it.
  // When there is no slot to edit, Ready() is false and nothing is touched.
  ServerEditor(ServerTable& servers, int slot);

  bool Ready() const { return slot_ != 0; }
  int Slot() const { return slot_; }
  ServerForm& Form() { return form_; }
  const ServerForm& Form() const { return form_; }

  // The clone list: the names from slot 1 up to the first empty name.
  std::vector<Text> CloneNames() const;
  // Clones the server of the clone list's entry `position` (slot position + 1).
  void CloneFrom(int position);

  // Why "OK" was refused.
  enum class Refusal { kNone, kEmptyName, kNameTaken };

  // "OK": stores the form into the slot. An empty name would end the server
  // list at this slot, and a name another slot has (compared exactly, as the
  // queue finds its server) would send that server's files elsewhere: both are
  // refused, false, nothing stored, LastRefusal() says which.
  bool Accept();
  Refusal LastRefusal() const { return refusal_; }

  // The record a listing uses: the form read (address field cleaned), then the
  // address prepared for the listing.
  ServerRecord BrowseRecord();

 private:
  ServerTable& servers_;
  int slot_ = 0;
  ServerForm form_;
  Refusal refusal_ = Refusal::kNone;
};

}  // namespace wexmoor
