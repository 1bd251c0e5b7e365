// The answer to a peer's UDP file reask ping: file not found when we do not have the file, its
// queue rank when it waits here, queue full when it does not and there is no room; no answer
// for a client that holds a slot or is simply not queued (it asks again over TCP). Any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/peers/UploadScheduler.h"

namespace P2P::Client {

// The datagram to send back to `address`:`udpPort`; empty for no answer. Only a known file
// counts as contact for the waiter.
std::vector<uint8_t> AnswerReaskPing(CTARNNetUploadScheduler& scheduler, bool fileKnown,
                                     uint32_t address, uint16_t udpPort,
                                     const _tagUnionHash& fileHash);

}  // namespace P2P::Client
