#include "program/server_form.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/code_page.h"

namespace wexmoor {

namespace {

constexpr long long kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr long long kIntMax = std::numeric_limits<std::int32_t>::max();

std::int32_t ClampToInt(long long value) {
  return static_cast<std::int32_t>(std::clamp(value, kIntMin, kIntMax));
}

bool Contains(TextView text, TextView part) { return text.find(part) != TextView::npos; }

}  // namespace

int SlotToEdit(const ServerTable& servers, int slot) {
  if (slot == -1) {
    const int count = servers.Count();
    return count < ServerTable::kMaxServers ? count + 1 : 0;
  }
  return slot >= 1 && slot <= ServerTable::kMaxServers ? slot : 0;
}

ServerForm FormFromRecord(const ServerRecord& record) {
  ServerForm form;
  form.name = record.name;
  form.address = record.address;
  form.login = record.login;
  form.password = record.password;
  form.port = IntToText(record.port);
  form.timeOut = IntToText(record.timeOut / 1000);
  form.connections = IntToText(UploadConnections(record));
  form.active = record.active != 0;
  form.ipRouter = record.ipRouter != 0;
  form.useUtf8 = record.useUtf8 != 0;
  form.useUtf8Opt = record.useUtf8Opt != 0;
  form.protocol = record.protocol;
  form.fingerprint = record.fingerprint;
  form.tempName = record.tempName;
  form.webAddress = record.webAddress;
  form.verify = record.verify;
  form.pipelining = record.pipelining;
  return form;
}

ServerForm OpenSlotForm(ServerTable& servers, int slot) {
  ServerRecord record = servers.Get(slot);
  const bool fresh = record.name.empty() && record.address.empty();
  if (record.port == 0 || record.timeOut == 0 || fresh) {
    if (record.port == 0) record.port = kDefaultPort;
    if (record.timeOut == 0) record.timeOut = kDefaultTimeOutMs;
    if (fresh) record.protocol = kNewServerProtocol;
    servers.Set(slot, record);
  }
  return FormFromRecord(record);
}

Text CleanAddressField(TextView address) {
  const std::size_t at = address.find(u"//");
  // Two or more characters must follow the "//".
  if (at != TextView::npos && at + 3 < address.size()) return Text(address.substr(at + 2));
  return Text(address);
}

ServerRecord ReadServerForm(ServerForm& form) {
  ServerRecord record;
  record.name = form.name;
  form.address = CleanAddressField(form.address);
  record.address = form.address;
  record.login = form.login;
  record.password = form.password;
  record.port = ClampToInt(TextToInt(form.port));
  record.active = form.active ? 1 : 0;
  record.ipRouter = form.ipRouter ? 1 : 0;
  record.timeOut = ClampToInt(std::clamp(TextToInt(form.timeOut), kIntMin / 1000, kIntMax / 1000) * 1000);
  record.useUtf8 = form.useUtf8 ? 1 : 0;
  record.useUtf8Opt = form.useUtf8Opt ? 1 : 0;
  record.connections = ClampToInt(TextToInt(form.connections));
  record.connections = UploadConnections(record);
  record.protocol = std::clamp(form.protocol, static_cast<int>(kProtocolPlain), static_cast<int>(kProtocolLast));
  record.fingerprint = form.fingerprint;
  record.tempName = form.tempName;
  record.webAddress = TrimBlanks(form.webAddress);
  record.verify = form.verify;
  record.pipelining = form.pipelining;
  return record;
}

void CloneIntoForm(const ServerRecord& source, ServerForm& form) {
  form = FormFromRecord(source);
  form.name = source.name + u"2";
}

Text ListingAddress(TextView address) {
  Text out = ReplaceAll(address, u"ftp://", u"");
  out = TrimSpaces(out);
  return ReplaceAll(out, u"//", u"/");
}

bool HasParentFolder(TextView address) { return Contains(address, u"/"); }

std::optional<Text> ParentFolderAddress(TextView address) {
  const std::size_t last = address.rfind(u'/');
  if (last == TextView::npos) return std::nullopt;
  return Text(address.substr(0, last));
}

std::optional<Text> FolderRowAddress(TextView address, TextView row, TextView errorRowText) {
  // Engine errors begin with "!!"; taking one for a folder would make the
  // listing create a folder of that name on the server.
  if (row.empty() || row == errorRowText || row.starts_with(u"!!") || Contains(row, u"."))
    return std::nullopt;
  Text next(address);
  next += u"/";
  next += row;
  return next;
}

std::vector<ListingRow> ListingRows(TextView listing) {
  std::vector<ListingRow> rows;
  auto add = [&rows](TextView piece) {
    ListingRow row;
    row.text = Text(piece);
    if (piece.starts_with(u"!!"))
      row.picture = RowPicture::kNone;
    else
      row.picture = Contains(piece, u".") ? RowPicture::kFile : RowPicture::kFolder;
    rows.push_back(std::move(row));
  };
  std::size_t from = 0;
  while (true) {
    const std::size_t bar = listing.find(u'|', from);
    if (bar == TextView::npos) break;
    add(listing.substr(from, bar - from));
    from = bar + 1;
  }
  // Every name ends with "|": what is left after the last one is only a row
  // when something stands there (an error text has no "|").
  if (from < listing.size()) add(listing.substr(from));
  return rows;
}

Text PercentEncode(TextView text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  for (unsigned char byte : Utf16ToUtf8(text)) {
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                       byte == '~';
    if (plain) {
      out.push_back(static_cast<char16_t>(byte));
    } else {
      out.push_back(u'%');
      out.push_back(static_cast<char16_t>(kHex[byte >> 4]));
      out.push_back(static_cast<char16_t>(kHex[byte & 15]));
    }
  }
  return out;
}

Text BuildBrowserAddress(const ServerRecord& server) {
  if (server.address.empty()) return {};
  Text where = ReplaceAll(server.address, u"\\", u"/");
  if (IsWebDav(server.protocol)) {
    // The browser asks for the login itself: never in the address.
    const bool tls = server.protocol == kProtocolWebDavHttps;
    const int ownPort = tls ? kHttpsPort : kHttpPort;
    if (server.port != 0 && server.port != kDefaultPort && server.port != ownPort) {
      const std::size_t slash = where.find(u'/');
      where = where.substr(0, slash) + u":" + IntToText(server.port) +
              (slash == Text::npos ? Text() : where.substr(slash));
    }
    return (tls ? u"https://" : u"http://") + where;
  }
  const bool implicitTls = server.protocol == kProtocolImplicitTls;
  const bool sftp = server.protocol == kProtocolSftp;
  // The scheme's own port goes without saying: 21 for ftp://, 990 for
  // ftps://, 22 for sftp:// (which 0 and 21 mean there).
  const int schemePort = implicitTls ? kImplicitTlsPort : sftp ? kSftpPort : kDefaultPort;
  const int port = sftp && server.port == kDefaultPort ? kSftpPort : server.port;
  if (port != 0 && port != schemePort) {
    const std::size_t slash = where.find(u'/');
    const Text host = where.substr(0, slash);
    const Text rest = slash == Text::npos ? Text() : where.substr(slash);
    where = host + u":" + IntToText(port) + rest;
  }
  return (implicitTls ? u"ftps://" : sftp ? u"sftp://" : u"ftp://") + PercentEncode(server.login) + u":" +
         PercentEncode(server.password) + u"@" + where;
}

bool UsesFtpConnectionOptions(int protocol) { return !IsWebDav(protocol); }

Text WebDavPlainProtocolName(TextView plainFtpName) {
  // The translated "FTP (no encryption)" says the rest in every language.
  constexpr TextView kFtp = u"FTP";
  if (plainFtpName.starts_with(kFtp)) return u"WebDAV" + Text(plainFtpName.substr(kFtp.size()));
  return u"WebDAV (" + Text(plainFtpName) + u")";
}

ServerEditor::ServerEditor(ServerTable& servers, int slot) : servers_(servers) {
  slot_ = SlotToEdit(servers, slot);
  if (slot_ != 0) form_ = OpenSlotForm(servers_, slot_);
}

std::vector<Text> ServerEditor::CloneNames() const { return servers_.Names(); }

void ServerEditor::CloneFrom(int position) {
  const int source = position + 1;
  if (source < 1 || source > ServerTable::kMaxServers) return;
  CloneIntoForm(servers_.Get(source), form_);
}

bool ServerEditor::Accept() {
  refusal_ = Refusal::kNone;
  if (!Ready()) return false;
  if (form_.name.empty()) {
    refusal_ = Refusal::kEmptyName;
    return false;
  }
  const std::vector<Text> names = servers_.Names();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (static_cast<int>(i) + 1 != slot_ && names[i] == form_.name) {
      refusal_ = Refusal::kNameTaken;
      return false;
    }
  }
  servers_.Set(slot_, ReadServerForm(form_));
  return true;
}

ServerRecord ServerEditor::BrowseRecord() {
  ServerRecord record = ReadServerForm(form_);
  record.address = ListingAddress(record.address);
  return record;
}

}  // namespace wexmoor
