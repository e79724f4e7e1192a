#pragma once
// What the libFuzzer harnesses share: a private scratch folder, file writing, and invariant checks that
// stop the run with a message (libFuzzer then saves the input that broke the invariant).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz_support {

// A folder of this process under the system's temporary folder, created on first use, with a trailing
// separator.
const std::string& ScratchDir();
// Writes bytes to a file of the scratch folder and returns its path.
std::string WriteScratch(const std::string& name, std::string_view bytes);
// The fuzzer's input as text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace fuzz_support

// Stops the run when an invariant does not hold.
#define FUZZ_CHECK(condition)                                                                  \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                            \
    }                                                                                          \
  } while (0)
