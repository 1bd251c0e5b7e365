#include "engine/net/RefusalCounter.h"

#include <string>

#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "framework/LogText.h"

namespace P2P {
namespace {

std::string OpcodeText(uint8_t opcode) {
  constexpr char kDigits[] = "0123456789abcdef";
  return {'0', 'x', kDigits[opcode >> 4], kDigits[opcode & 0x0F]};
}

}  // namespace

void CRefusalCounter::Note(uint8_t opcode, const Protocol::SRefusal& refusal) {
  {
    OSTREL::Process::CLock guard(lock_);
    last_ = refusal;
  }
  // Logged before it is counted: whoever sees the count finds the line written.
  OSTREL::LogDebug(session_, ": packet ", OpcodeText(opcode), " refused: ",
                   OSTREL::EscapeForLog(Protocol::DescribeRefusal(refusal)));
  count_.fetch_add(1);
}

Protocol::SRefusal CRefusalCounter::Last() const {
  OSTREL::Process::CLock guard(lock_);
  return last_;
}

}  // namespace P2P
