// Whole-file reading and writing with 64-bit offsets, for the big-file splitter.
// Windows: CreateFileW share modes as the splitter needs them; natively: POSIX descriptors.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/unique_handle.h"

namespace zk::fileio {

using Handle = intptr_t;
inline constexpr Handle kNone = -1;
void Close(Handle h);
using UniqueFile = UniqueHandle<Handle, &Close, kNone>;

// Opens for reading, shared for deletion only: fails while another handle has the file open.
Handle OpenReadExclusive(const std::wstring& path);
// Creates (replacing) for writing, shared for writing only.
Handle CreateForWrite(const std::wstring& path);
bool Size(Handle h, uint64_t& size);
bool SeekTo(Handle h, uint64_t offset);
// Reads up to `size` bytes; `read` is less only at the end of the file.
[[nodiscard]] bool Read(Handle h, void* buffer, size_t size, size_t& read);
// True only when every byte was written: a full disk, an error or a write that takes nothing
// is a failure on both platforms. A zero-byte write succeeds.
[[nodiscard]] bool Write(Handle h, const void* buffer, size_t size);
// Puts what was written on the disk (FlushFileBuffers, fsync).
[[nodiscard]] bool Flush(Handle h);

}  // namespace zk::fileio
