// Orbit Mean-Elements Messages in JSON and XML, nested as deep as the input makes them. The first byte
// chooses the form (even JSON, odd XML) and how often the rest is repeated (up to 4096 times, so that a
// few bytes such as "[" or "<a>" become tens of thousands of levels); the reader must refuse or read the
// text without exhausting the stack. Invariants: a text read gives sets whose two-line lines have 69
// columns, and a text refused gives a cause.
#include <algorithm>

#include "fuzz_support.h"
#include "satdb/omm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ElementInputForm form = data[0] % 2 == 0 ? ElementInputForm::OmmJson : ElementInputForm::OmmXml;
  const std::size_t repeats = 1 + (data[0] / 2) * 32;
  const std::string_view unit = fuzz_support::AsText(data + 1, size - 1);
  std::string text;
  text.reserve(std::min<std::size_t>(unit.size() * repeats, 1 << 22));
  for (std::size_t i = 0; i < repeats && text.size() < (1u << 22); ++i) text += unit;
  // Close what the repeated unit opened, so that deep but well-formed texts are tried too.
  if (form == ElementInputForm::OmmJson) {
    const auto opened = std::count(text.begin(), text.end(), '[') - std::count(text.begin(), text.end(), ']');
    if (opened > 0) text.append(static_cast<std::size_t>(std::min<long>(opened, 1 << 22)), ']');
  }
  std::vector<OmmSet> sets;
  std::string cause;
  if (ReadOmmText(text, form, sets, &cause)) {
    for (const OmmSet& set : sets) {
      if (set.fitsTwoLine) FUZZ_CHECK(set.line1.size() == 69 && set.line2.size() == 69);
    }
  } else {
    FUZZ_CHECK(!cause.empty() && sets.empty());
  }
  return 0;
}
