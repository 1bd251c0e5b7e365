// The download side's share of the engine's transfer limits: "Max Download", which the data
// peers send draws on, the wake-up of the sessions that stopped reading until the allowance
// returns, and the credit each peer earns for the bytes it gave us. The engine root owns one
// beside the upload service (which holds "Max Upload"). Any thread.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/ClientConfig.h"
#include "engine/base/Hash.h"
#include "engine/net/TARNNetRateLimiter.h"
#include "engine/net/TARNNetUploadPacer.h"

namespace P2P::Credit {
class CTARNNetClientCreditList;
}

namespace P2P {

class CTARNNetTransferBudget {
 public:
  // Bytes a user gave us, for its credit record; may be empty.
  using CreditReceived = std::function<void(const _tagUnionHash& user, uint64_t bytes)>;

  explicit CTARNNetTransferBudget(CreditReceived credit = {}) : credit_(std::move(credit)) {}

  // The download rate from the configuration record.
  void ApplyConfig(const _tagStructClientConfig& config) {
    downloadLimiter_.SetRateKiB(config.maxDownloadKiB);
  }
  // `bytes` of a download arrived from `user`: credited to it and spent from the allowance.
  // Returns the milliseconds until the allowance is out of debt; 0 to read on at once.
  uint32_t OnReceived(const _tagUnionHash& user, uint32_t bytes);

  // What resumes the sessions that stopped reading (set by whoever runs them), and the request
  // to run it once `milliseconds` from now.
  void SetReadResumeHook(CTARNNetUploadPacer::Resume resume) {
    readPacer_.SetResume(std::move(resume));
  }
  void ResumeReadingAfter(uint32_t milliseconds) { readPacer_.ResumeAfter(milliseconds); }

  CTARNNetRateLimiter& DownloadLimiter() { return downloadLimiter_; }

 private:
  CreditReceived credit_;
  CTARNNetRateLimiter downloadLimiter_;
  // Last: it stops (joins its thread) before the limiter it resumes for goes.
  CTARNNetUploadPacer readPacer_;
};

// The credit list as the budget's credit for received bytes (counted only for users whose
// identity verified).
CTARNNetTransferBudget::CreditReceived ReceivedCreditOf(Credit::CTARNNetClientCreditList& credits);

}  // namespace P2P
