// One input is one configuration file, read over the settings table.
#include <cstdint>
#include <cstdio>

#include "settings/cfgproc.h"
#include "tests/fuzz/fuzz_file.h"

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
    if (fuzz_file file = fuzz_open(data, size))
        config_read(file.get(), config_table);
    return 0;
}
