// The benchmark commands; each takes its arguments after the command name
// and returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace wexmoor::bench {

using Arguments = std::vector<std::string>;

// upload-file PORT USER PASSWORD FILE REMOTE_FOLDER BLOCK_BYTES ZERO_COPY(0|1)
// upload-file-tls PORT USER PASSWORD FILE REMOTE_FOLDER BLOCK_BYTES ZERO_COPY(0|1) PROTOCOL FINGERPRINT
int RunUploadFile(const Arguments& args);
// upload-drop PORT USER PASSWORD FOLDER REMOTE_FOLDER CONNECTIONS
int RunUploadDrop(const Arguments& args);
// upload-limited PORT USER PASSWORD FOLDER REMOTE_FOLDER CONNECTIONS LIMIT_KIB SECONDS CHANGE_AFTER_S NEW_KIB:
// the drop's uploads under a global limit, cut after SECONDS, the limit
// changed once when CHANGE_AFTER_S is not negative (prints "changed" with the moment, for limit_bench.py)
int RunUploadLimited(const Arguments& args);
// make-settings FILE ENTRIES, settings FILE RUNS
int RunMakeSettings(const Arguments& args);
int RunSettings(const Arguments& args);
// autosave-drain FILE ENTRIES RATE: the autosave's cost while a queue drains, with
// the journal and with a whole rewrite per change
int RunAutosaveDrain(const Arguments& args);
// intake FOLDER, pack FOLDER
int RunIntake(const Arguments& args);
int RunPack(const Arguments& args);
// memory-idle, memory-listed PREFERENCE_FILE
int RunMemoryIdle(const Arguments& args);
int RunMemoryListed(const Arguments& args);
// hostile-greeting PORT TIMEOUT_MS: a session against hostile_ftp_peer.py
int RunHostileGreeting(const Arguments& args);

}  // namespace wexmoor::bench
