// The libFuzzer entry of one target; FUZZ_FUNCTION names it.
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FUZZ_FUNCTION(data, size);
}
