#include "ftp/file_proof.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "ftp/reply_reader.h"
#include "platform/code_page.h"

namespace wexmoor {
namespace {

struct KindName {
  FtpHashKind kind;
  const char16_t* hashName;  // in FEAT's HASH line and OPTS HASH
  const char16_t* command;   // the X command
  std::size_t hexLength;
};
constexpr KindName kKinds[] = {
    {FtpHashKind::kCrc32, u"CRC32", u"XCRC", 8},
    {FtpHashKind::kMd5, u"MD5", u"XMD5", 32},
    {FtpHashKind::kSha1, u"SHA-1", u"XSHA1", 40},
    {FtpHashKind::kSha256, u"SHA-256", u"XSHA256", 64},
};

const KindName& Of(FtpHashKind kind) { return kKinds[static_cast<int>(kind)]; }

void AddOnce(std::vector<FtpHashKind>& kinds, FtpHashKind kind) {
  if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
}

std::vector<TextView> Lines(TextView text) {
  std::vector<TextView> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find(u'\n', from);
    if (end == TextView::npos) end = text.size();
    TextView line = text.substr(from, end - from);
    while (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back(line);
    from = end + 1;
  }
  return lines;
}

std::vector<TextView> Words(TextView line) {
  std::vector<TextView> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    const std::size_t from = i;
    while (i < line.size() && line[i] != u' ' && line[i] != u'\t') ++i;
    if (i > from) words.push_back(line.substr(from, i - from));
  }
  return words;
}

// The word as a lower-case digest of `length` hex digits, or nullopt.
std::optional<std::string> HexDigest(TextView word, std::size_t length) {
  if (word.size() != length) return std::nullopt;
  std::string hex;
  for (const char16_t c : word) {
    if (c >= u'0' && c <= u'9') hex.push_back(static_cast<char>(c));
    else if (c >= u'a' && c <= u'f') hex.push_back(static_cast<char>(c));
    else if (c >= u'A' && c <= u'F') hex.push_back(static_cast<char>(c - u'A' + u'a'));
    else return std::nullopt;
  }
  return hex;
}

// The words after `code` on the reply's line that carries it (the last such
// line); nullopt when no line does.
std::optional<std::vector<TextView>> WordsAfterCode(TextView reply, TextView code) {
  std::optional<std::vector<TextView>> found;
  for (TextView line : Lines(reply)) {
    if (line.size() < 4 || !line.starts_with(code) || line[3] != u' ') continue;
    found = Words(line.substr(4));
  }
  return found;
}

constexpr int kMaxReplyReads = 64;

// Whether the text's last line is a final reply line: three digits, then a
// space or nothing.
bool EndsReply(TextView text) {
  const std::vector<TextView> lines = Lines(text);
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    if (line->empty()) continue;
    const bool digits = line->size() >= 3 && std::all_of(line->begin(), line->begin() + 3, [](char16_t c) {
      return c >= u'0' && c <= u'9';
    });
    return digits && (line->size() == 3 || (*line)[3] == u' ');
  }
  return false;
}

bool Lost(TextView reply) { return reply.starts_with(u"!!") || ReplyHasCode(reply, u"421") != 0; }

// One command and its reply; a command holding a line break is not sent.
Text Exchange(FtpSession& session, int connection, ServerRecord& server, TextView command, StatusTarget* status) {
  if (command.find_first_of(TextView(u"\r\n\0", 3)) != TextView::npos) {
    LogLine(session, u"!!--- Command refused: a name holds a line break", status);
    return u"500 not sent";
  }
  SendCommand(session, connection, server, Text(command) + u"\r\n", status);
  // A reply may come in pieces ("213-Computing..." first, the digest once it
  // is computed): read on until its last line, a code and a space.
  Text reply;
  for (int reads = 0; reads < kMaxReplyReads; ++reads) {
    const Text piece = ReadReply(session, connection, server, 0, status);
    if (piece.starts_with(u"!!")) return piece;
    if (!reply.empty()) reply += u"\r\n";
    reply += piece;
    if (EndsReply(reply)) break;
  }
  return reply;
}

ProofReply Answer(TextView reply, Text& message) {
  message = Text(reply);
  return Lost(reply) ? ProofReply::kGone : ProofReply::kRefused;
}

}  // namespace

const char* HashName(FtpHashKind kind) {
  switch (kind) {
    case FtpHashKind::kCrc32: return "CRC32";
    case FtpHashKind::kMd5: return "MD5";
    case FtpHashKind::kSha1: return "SHA-1";
    case FtpHashKind::kSha256: return "SHA-256";
  }
  return "";
}

std::vector<FtpHashKind> FtpProofFeatures::Kinds() const {
  std::vector<FtpHashKind> kinds;
  for (const KindName& k : kKinds) {
    const bool offered = std::find(hashCommand.begin(), hashCommand.end(), k.kind) != hashCommand.end() ||
                         std::find(xCommands.begin(), xCommands.end(), k.kind) != xCommands.end();
    if (offered) kinds.push_back(k.kind);
  }
  return kinds;
}

FtpProofFeatures ParseProofFeatures(TextView featReply) {
  FtpProofFeatures features;
  for (TextView line : Lines(featReply)) {
    // The first and the last line carry the code; feature lines do not.
    if (line.size() >= 4 && line.substr(0, 3) == u"211" && (line[3] == u'-' || line[3] == u' ')) continue;
    const std::vector<TextView> words = Words(line);
    if (words.empty()) continue;
    const Text name = ToUpperAscii(words[0]);
    if (name == u"MFMT") features.mfmt = true;
    if (name == u"XSHA" || name == u"XSHA1") AddOnce(features.xCommands, FtpHashKind::kSha1);
    for (const KindName& k : kKinds)
      if (name == k.command) AddOnce(features.xCommands, k.kind);
    if (name != u"HASH" || words.size() < 2) continue;
    TextView list = words[1];
    while (!list.empty()) {
      std::size_t end = list.find(u';');
      TextView item = list.substr(0, end);
      list = end == TextView::npos ? TextView() : list.substr(end + 1);
      const bool selected = item.ends_with(u'*');
      if (selected) item.remove_suffix(1);
      for (const KindName& k : kKinds) {
        if (!EqualsIgnoreAsciiCase(item, k.hashName)) continue;
        AddOnce(features.hashCommand, k.kind);
        if (selected) features.hashSelected = k.kind;
      }
    }
  }
  std::sort(features.xCommands.begin(), features.xCommands.end());
  std::sort(features.hashCommand.begin(), features.hashCommand.end());
  return features;
}

FtpProofFeatures AskProofFeatures(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status,
                                  bool* lost) {
  const Text reply = Exchange(session, connection, server, u"FEAT", status);
  if (lost != nullptr) *lost = Lost(reply);
  if (ReplyHasCode(reply, u"211") == 0) return {};
  return ParseProofFeatures(reply);
}

std::optional<std::string> ParseHashReply(TextView reply, FtpHashKind kind) {
  const auto words = WordsAfterCode(reply, u"213");
  // Algorithm, range, digest, name.
  if (!words || words->size() < 3) return std::nullopt;
  if (!EqualsIgnoreAsciiCase((*words)[0], Of(kind).hashName)) return std::nullopt;
  if (!(*words)[1].starts_with(u"0-")) return std::nullopt;  // not the whole file
  return HexDigest((*words)[2], Of(kind).hexLength);
}

std::optional<std::string> ParseXHashReply(TextView reply, FtpHashKind kind) {
  for (TextView code : {TextView(u"250"), TextView(u"213")}) {
    const auto words = WordsAfterCode(reply, code);
    if (!words) continue;
    // The digest first, or after the name.
    for (TextView word : *words)
      if (auto hex = HexDigest(word, Of(kind).hexLength)) return hex;
  }
  return std::nullopt;
}

Text MfmtTime(std::int64_t epochSeconds) {
  const std::time_t t = static_cast<std::time_t>(epochSeconds);
  std::tm utc{};
  if (::gmtime_r(&t, &utc) == nullptr) return {};
  char text[32];
  if (std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &utc) != 14) return {};
  return AsciiToText(text);
}

ProofReply RemoteHash(FtpSession& session, int connection, ServerRecord& server, FtpProofFeatures& features,
                      TextView name, FtpHashKind kind, std::string& hexDigest, Text& message, StatusTarget* status) {
  hexDigest.clear();
  message.clear();
  const KindName& k = Of(kind);
  if (std::find(features.hashCommand.begin(), features.hashCommand.end(), kind) != features.hashCommand.end()) {
    bool chosen = features.hashSelected == kind;
    if (!chosen) {
      const Text reply = Exchange(session, connection, server, u"OPTS HASH " + Text(k.hashName), status);
      if (Lost(reply)) return Answer(reply, message);
      chosen = ReplyHasCode(reply, u"200") != 0;
      if (chosen) features.hashSelected = kind;
    }
    if (chosen) {
      const Text reply = Exchange(session, connection, server, u"HASH " + Text(name), status);
      if (auto hex = ParseHashReply(reply, kind)) {
        hexDigest = *hex;
        return ProofReply::kDone;
      }
      if (Lost(reply)) return Answer(reply, message);
      // Refused (or not understood): the X command may still tell.
      message = reply;
    }
  }
  if (std::find(features.xCommands.begin(), features.xCommands.end(), kind) == features.xCommands.end())
    return message.empty() ? ProofReply::kUnsupported : ProofReply::kRefused;
  // The X commands take offsets after the name: a name with a space goes in
  // double quotes (one holding a quote cannot be named).
  Text argument(name);
  if (argument.find(u' ') != Text::npos) {
    if (argument.find(u'"') != Text::npos) return ProofReply::kUnsupported;
    argument = u"\"" + argument + u"\"";
  }
  const Text reply = Exchange(session, connection, server, Text(k.command) + u" " + argument, status);
  if (auto hex = ParseXHashReply(reply, kind)) {
    hexDigest = *hex;
    message.clear();
    return ProofReply::kDone;
  }
  return Answer(reply, message);
}

ProofReply SetRemoteTime(FtpSession& session, int connection, ServerRecord& server, const FtpProofFeatures& features,
                         TextView name, std::int64_t epochSeconds, Text& message, StatusTarget* status) {
  message.clear();
  if (!features.mfmt) return ProofReply::kUnsupported;
  const Text time = MfmtTime(epochSeconds);
  if (time.empty()) {
    message = u"no time to set";
    return ProofReply::kRefused;
  }
  const Text reply = Exchange(session, connection, server, u"MFMT " + time + u" " + Text(name), status);
  if (ReplyHasCode(reply, u"213") != 0) return ProofReply::kDone;
  return Answer(reply, message);
}

}  // namespace wexmoor
