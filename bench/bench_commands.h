// The benchmark commands; each takes its arguments after the command name
// and returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace wexmoor::bench {

using Arguments = std::vector<std::string>;

// upload-file PORT USER PASSWORD FILE REMOTE_FOLDER
// upload-file-tls PORT USER PASSWORD FILE REMOTE_FOLDER PROTOCOL FINGERPRINT
int RunUploadFile(const Arguments& args);
// upload-drop PORT USER PASSWORD FOLDER REMOTE_FOLDER
int RunUploadDrop(const Arguments& args);
// make-settings FILE ENTRIES, settings FILE RUNS
int RunMakeSettings(const Arguments& args);
int RunSettings(const Arguments& args);
// intake FOLDER, pack FOLDER
int RunIntake(const Arguments& args);
int RunPack(const Arguments& args);
// memory-idle, memory-listed PREFERENCE_FILE
int RunMemoryIdle(const Arguments& args);
int RunMemoryListed(const Arguments& args);

}  // namespace wexmoor::bench
