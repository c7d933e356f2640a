// The host's IService, shared by the engine, its reporter and its result collector.
#pragma once

#include <stdexcept>

#include "installation_assistant/engine.h"

namespace installation_assistant::engine {

// Never calls the host to keep the pointer alive: the host keeps it valid until
// IEngine::Release has returned.
class ServiceHolder {
 public:
  explicit ServiceHolder(IService* service) : service_(service) {
    if (service_ == nullptr) throw std::logic_error("Service is invalid");
  }

  IService* Get() const { return service_; }
  IService* operator->() const { return service_; }

 private:
  IService* service_;
};

}  // namespace installation_assistant::engine
