// The module's exports. No exception reaches the host.
#include "common/trace.h"
#include "engine/engine.h"

using installation_assistant::TraceException;
using installation_assistant::engine::IEngine;
using installation_assistant::engine::IService;
using installation_assistant::engine::ITraceWriter;

extern "C" IEngine* CreateEngine(IService* service, long processId, unsigned int traceThreshold,
                                 ITraceWriter* traceWriter) {
  try {
    return installation_assistant::engine::CreateEngineImpl(service, processId, traceThreshold, traceWriter, true);
  } catch (...) {
    TraceException("CreateEngine");
    return nullptr;
  }
}

extern "C" IEngine* CreateEngine2(IService* service, long processId, unsigned int traceThreshold,
                                  ITraceWriter* traceWriter) {
  try {
    return installation_assistant::engine::CreateEngineImpl(service, processId, traceThreshold, traceWriter, false);
  } catch (...) {
    TraceException("CreateEngine2");
    return nullptr;
  }
}
