// The order a drop makes: a folder in the audit folder holding one shortcut per accepted file,
// filled under a "TMPUPLOAD_" name (which the folder audit ignores) and renamed when complete.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/clock.h"

namespace zk {

// Upper-case hexadecimal of the low 32 bits of seconds + milliseconds since start.
std::wstring DropOrderName(int64_t seconds, uint32_t ticks);

struct DropOrderResult {
    bool folderCreated = false;
    int accepted = 0;
    std::wstring finalFolder;  // set when the order was moved to its final name
    std::wstring tempFolder;
};

// `accept` is the extension test; `afterFile` runs after each dropped path (accepted or not).
DropOrderResult BuildDropOrder(const std::wstring& auditFolder, const std::vector<std::wstring>& paths,
                               const std::function<bool(const std::wstring&)>& accept, const std::function<void()>& afterFile,
                               const IClock& clock);

}  // namespace zk
