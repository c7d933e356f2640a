// The host's IService, shared by the engine, its reporter and its result collector.
#pragma once

#include <atomic>
#include <stdexcept>

#include "installation_assistant/engine.h"

namespace installation_assistant::engine {

// Never calls the host to keep the pointer alive: the host keeps it valid until
// IEngine::Release has returned.
class ServiceHolder {
 public:
  explicit ServiceHolder(IService* service) : service_(service) {
    if (service == nullptr) throw std::logic_error("Service is invalid");
  }

  IService* Get() const { return service_.load(); }
  IService* operator->() const { return Get(); }

  // Release: the host's service may go now. A pass left stuck in an installer that stopped answering may still end
  // later; what it tells goes nowhere.
  void Detach() { service_.store(&Nobody()); }

 private:
  class NoService final : public IService {
   public:
    void SetEngineVersion(const char*) override {}
    void ReportItem(const ServiceReport*) override {}
    void ReportProcessedTotal(int) override {}
    void ReportProcessedItems(int, int) override {}
    void BlockPatternAdded() override {}
  };
  static IService& Nobody() {
    static NoService nobody;
    return nobody;
  }

  std::atomic<IService*> service_;
};

}  // namespace installation_assistant::engine
