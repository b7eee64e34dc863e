// Chunk-file names: any path is parsed; a name made by the splitter is always recognised.
#include "fuzz_input.h"
#include "intake/chunk_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = zk::fuzz::Wide(data, size);
    (void)zk::ParseChunkName(text);
    if (text.find(L'\0') != std::wstring::npos || text.find(L'/') != std::wstring::npos || text.find(L'\\') != std::wstring::npos)
        return 0;
    const std::wstring chunk = L"/nonexistent-folder/" + zk::ChunkFileName(text, 2, 3);
    const zk::ChunkNameInfo info = zk::ParseChunkName(chunk);
    if (!info.isChunk || info.sourcePath != L"/nonexistent-folder/" + text) __builtin_trap();
    return 0;
}
