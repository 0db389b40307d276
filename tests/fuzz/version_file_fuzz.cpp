// A version file from the web: the record walk and version values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/code_page.h"
#include "web/install_list.h"
#include "web/version_records.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Text text = AnsiToUtf16(std::string(reinterpret_cast<const char*>(data), size));
  (void)VersionValue(text);
  for (const auto& record : FindVersionRecords(text, u"Wexmoor", u"1.83")) {
    (void)RecordApplies(record, u"1.83");
    for (const auto& token : record.conditions) (void)VersionValue(token);
    (void)SafeInstallItems(record.installItems, u"/tmp/wexmoor-fuzz-cwd");
    (void)InstallListText(record.installItems);
  }
  return 0;
}
