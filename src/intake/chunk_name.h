// Names of chunk files: the source file name, ".", the 32 hex digits of the digest of that name,
// ".p<number>-<count>". Recognising one tells the folder audit whether its source still exists.
#pragma once
#include <cstdint>
#include <string>

namespace zk {

struct ChunkNameInfo {
    bool isChunk = false;
    std::wstring sourcePath;
    bool sourceExists = false;
};

// The chunk file name for chunk `number` of `count` of a file named `fileName`.
std::wstring ChunkFileName(const std::wstring& fileName, int64_t number, int64_t count);
ChunkNameInfo ParseChunkName(const std::wstring& path);

}  // namespace zk
