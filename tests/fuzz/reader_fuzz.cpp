// libFuzzer target for the table reader (see scripts/fuzz-reader.sh).

#include "tests/fuzz/reader_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::readFuzzInput(data, size);
    return 0;
}
