// The fuzz input as a read-only stream, for the readers that take a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

using fuzz_file = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

// Null for an empty input (fmemopen refuses a zero size) or when the stream cannot be made.
inline fuzz_file fuzz_open(const uint8_t *data, size_t size)
{
    std::FILE *file = size ? fmemopen(const_cast<uint8_t *>(data), size, "r") : nullptr;
    return fuzz_file(file, [](std::FILE *f) { return f ? std::fclose(f) : 0; });
}
