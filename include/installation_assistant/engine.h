// zviae.dll: the installation assistant engine, as a host sees it.
//
// The host loads the module, calls CreateEngine (notifications on) or CreateEngine2
// (notifications off) on the thread that will later call IEngine::Run, adds its
// patterns, calls Run (which returns when the installer process has ended) and finally
// IEngine::Release.
//
// The interfaces are plain vtables: no reference counting, no interface query and no
// virtual destructor, because a virtual destructor would add slots and move the
// operations the host calls by position. The destructors are protected and non-virtual
// so that nobody deletes an object through these interfaces by mistake.
#pragma once

#include <cstddef>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win32.h"
#endif

namespace installation_assistant {
namespace engine {

// One report record. Every pointer is valid only during IService::ReportItem.
struct ServiceReport {
  int patternId;
  int resultCode;
  int genericPattern;
  int elementType;
  unsigned int controlDataSize;
  const unsigned char* controlData;  // may be null when controlDataSize is 0
  const char* controlPath;           // UTF-8, never null
  const char* userAction;            // UTF-8, never null
  const char* desiredState;          // UTF-8, never null
  const char* patternVersion;        // UTF-8, never null
  int reserved1;
  int reserved2;
};

struct NotificationIcon {
  int iconId;
  int value1;
  unsigned int dataSize;
  const unsigned char* data;  // icon directory followed by its images
};

// Texts and icons for the sticker and the message boxes; owned by the host, copied by
// IEngine::SetNotificationsData.
struct NotificationData {
  bool flag;
  const char* title;         // UTF-8
  const char* description;   // UTF-8
  const char* okButton;      // UTF-8
  const char* cancelButton;  // UTF-8
  unsigned int iconCount;
  const NotificationIcon* icons;  // may be null when iconCount is 0
};

#if defined(_WIN32) && !defined(_WIN64)
// The host was built against exactly these layouts.
static_assert(sizeof(ServiceReport) == 48, "ServiceReport layout");
static_assert(offsetof(ServiceReport, controlDataSize) == 16, "ServiceReport layout");
static_assert(offsetof(ServiceReport, controlData) == 20, "ServiceReport layout");
static_assert(offsetof(ServiceReport, controlPath) == 24, "ServiceReport layout");
static_assert(offsetof(ServiceReport, patternVersion) == 36, "ServiceReport layout");
static_assert(offsetof(ServiceReport, reserved2) == 44, "ServiceReport layout");
static_assert(sizeof(NotificationData) == 28, "NotificationData layout");
static_assert(offsetof(NotificationData, title) == 4, "NotificationData layout");
static_assert(offsetof(NotificationData, cancelButton) == 16, "NotificationData layout");
static_assert(offsetof(NotificationData, iconCount) == 20, "NotificationData layout");
static_assert(offsetof(NotificationData, icons) == 24, "NotificationData layout");
static_assert(sizeof(NotificationIcon) == 16, "NotificationIcon layout");
static_assert(offsetof(NotificationIcon, dataSize) == 8, "NotificationIcon layout");
static_assert(offsetof(NotificationIcon, data) == 12, "NotificationIcon layout");
#endif

// Implemented by the host. Results are ignored; calls may come from any engine thread.
class IService {
 public:
  virtual void SetEngineVersion(const char* version) = 0;
  virtual void ReportItem(const ServiceReport* report) = 0;
  virtual void ReportProcessedTotal(int count) = 0;
  virtual void ReportProcessedItems(int window, int count) = 0;
  virtual void BlockPatternAdded() = 0;

 protected:
  ~IService() = default;
};

// Implemented by the host. Write is called concurrently from every engine thread.
class ITraceWriter {
 public:
  virtual void Write(const wchar_t* text, int level) = 0;
  virtual void Flush() = 0;
  virtual void Release() = 0;

 protected:
  ~ITraceWriter() = default;
};

// Implemented by the engine. No operation lets an exception reach the host.
class IEngine {
 public:
  virtual void AddPattern(int patternId, const char* pattern, bool silent) = 0;
  virtual void SetNotificationsData(const NotificationData* data) = 0;
  virtual void ShowNotification(HWND window, const char* text) = 0;
  virtual void Run() = 0;
  virtual void Release() = 0;

 protected:
  ~IEngine() = default;
};

// Signature of both exported factories, for hosts that look them up at run time.
typedef IEngine* (*CreateEngineFunction)(IService* service, long processId, unsigned int traceThreshold,
                                         ITraceWriter* traceWriter);

}  // namespace engine
}  // namespace installation_assistant

extern "C" {
// Returns null when the engine could not be built; the reason goes to the trace.
installation_assistant::engine::IEngine* CreateEngine(installation_assistant::engine::IService* service,
                                                      long processId, unsigned int traceThreshold,
                                                      installation_assistant::engine::ITraceWriter* traceWriter);
installation_assistant::engine::IEngine* CreateEngine2(installation_assistant::engine::IService* service,
                                                       long processId, unsigned int traceThreshold,
                                                       installation_assistant::engine::ITraceWriter* traceWriter);
}
