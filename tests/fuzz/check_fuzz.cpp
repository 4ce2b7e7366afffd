// libFuzzer target for the table health check (see scripts/fuzz-reader.sh).

#include "tests/fuzz/check_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)fuzzing::checkFuzzInput(data, size);
    return 0;
}
