// Setting texts as an administrator or the server may give them: counts, intervals, chunk
// sizes, folders, and the file-types list with the drop intake's extension test.
#include "app/settings.h"
#include "fuzz_input.h"
#include "tasks/locked_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = zk::fuzz::Wide(data, size);
    uint32_t count = 0;
    (void)zk::ParseCount(text, count);
    const int interval = zk::AuthIntervalFrom(text);
    if (interval < 1 || interval > 600) __builtin_trap();
    if (zk::ChunkMegabytesFrom(text) > zk::kMaxChunkMegabytes) __builtin_trap();
    const std::wstring folder = zk::NormalizeAuditFolder(text);
    if (folder.size() < 7 || folder.compare(folder.size() - 7, 7, L".UPLOAD") != 0) __builtin_trap();
    zk::CZKLockedList list;
    const zk::ExtensionFlags flags = zk::BuildExtensionList(text, list);
    (void)zk::ExtensionAccepted(text, list, flags.acceptAll);
    (void)zk::ExtensionAccepted(L"photo.JPG", list, false);
    return 0;
}
