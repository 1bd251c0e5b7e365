// The client the kill test kills: it holds objects and advised sinks on the session bus.
#pragma once

namespace tarn::test {

int HoldObjects();

}  // namespace tarn::test
