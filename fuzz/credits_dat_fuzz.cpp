// Loads a Credits.dat image, writes what was kept and loads that again: nothing is lost.
#include <string_view>

#include "engine/net/ClientCreditFile.h"
#include "engine/net/TARNNetClientCreditList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OSTREL::File::CXmlDocument input;
  if (!input.LoadText({reinterpret_cast<const char*>(data), size})) return 0;
  P2P::Credit::CTARNNetClientCreditList list([] { return 1800000000u; });
  list.LoadDocument(input);
  OSTREL::File::CXmlDocument written(P2P::Credit::kClientCreditsRoot);
  list.SaveDocument(written);
  OSTREL::File::CXmlDocument reread;
  if (!reread.LoadText(written.ToText())) __builtin_trap();
  P2P::Credit::CTARNNetClientCreditList reloaded([] { return 1800000000u; });
  reloaded.LoadDocument(reread);
  OSTREL::File::CXmlDocument again(P2P::Credit::kClientCreditsRoot);
  reloaded.SaveDocument(again);
  if (again.ToText() != written.ToText()) __builtin_trap();
  return 0;
}
