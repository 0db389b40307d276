// The maker's version file: records of the form
//   Wexmoor|new version|[conditions|]archive address|item|item|...|End
// and the comparison of version texts.
#pragma once

#include <vector>

#include "platform/text.h"

namespace wexmoor {

// A comparable value of a version text: "1.83" → 1.83, "1.83a" → 1.831,
// "2b" → 2.2; a text containing "beta" lies 1000 lower, so a beta is never
// newer than a release.
double VersionValue(TextView version);

struct VersionRecord {
  Text newVersion;
  // Each ":"-separated token of the conditions field; {"1.83"}-style single
  // token of the running version when the record has no conditions.
  std::vector<Text> conditions;
  Text archiveAddress;
  // The install items, in order, without their "|".
  std::vector<Text> installItems;
};

// The records of `product` in `versionFile`, in file order. A record that has
// no closing "|End" ends the walk; a record without install items is skipped.
std::vector<VersionRecord> FindVersionRecords(TextView versionFile, TextView product,
                                              TextView runningVersion);

// True when `record` is newer than `runningVersion` and one of its conditions
// holds: a plain version equal to the running one, ">v" with the running
// version v or later, "<v" with the running version v or earlier.
bool RecordApplies(const VersionRecord& record, TextView runningVersion);

// The install items joined, each followed by "|".
Text InstallListText(const std::vector<Text>& items);

}  // namespace wexmoor
