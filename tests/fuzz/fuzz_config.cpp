// One input is one configuration file, read over the settings table.
#include <cstdint>
#include <cstdio>

#include "app/cfgproc.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reader reports every key on standard output; the fuzzer does not need to see it.
    if (!std::freopen("/dev/null", "w", stdout))
        return 0;
    config_setdefaults(config_table);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    std::FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "r");
    if (!file)
        return 0;
    config_read(file, config_table);
    std::fclose(file);
    return 0;
}
