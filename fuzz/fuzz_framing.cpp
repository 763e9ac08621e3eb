// libFuzzer target: random byte streams through the line framer and the reply readers.
#include "framing_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quadrel::fuzz::check_framing(data, size);
  return 0;
}
