// Owning copies of the records that cross the host boundary, and their checks.
#pragma once

#include <string>
#include <vector>

#include "installation_assistant/engine.h"

namespace installation_assistant::engine {

struct ServiceReportData {
  int patternId = 0;
  int resultCode = 0;
  int genericPattern = 0;
  int elementType = 0;
  std::vector<unsigned char> controlData;
  std::string controlPath;
  std::string userAction;
  std::string desiredState;
  std::string patternVersion;
  int reserved1 = 0;
  int reserved2 = 0;

  friend bool operator==(const ServiceReportData&, const ServiceReportData&) = default;
};

// The result borrows data's storage and must not outlive it.
ServiceReport ToServiceReport(const ServiceReportData& data);
// Throws std::logic_error for a record the host could not have been given.
ServiceReportData ToServiceReportData(const ServiceReport& report);

struct NotificationIconCopy {
  int iconId = 0;
  int value1 = 0;
  std::vector<unsigned char> data;

  friend bool operator==(const NotificationIconCopy&, const NotificationIconCopy&) = default;
};

struct NotificationDataCopy {
  bool flag = false;
  std::string title;
  std::string description;
  std::string okButton;
  std::string cancelButton;
  std::vector<NotificationIconCopy> icons;

  // The first entry with that id, or an empty entry (no bytes) when there is none.
  NotificationIconCopy Icon(int iconId) const;

  friend bool operator==(const NotificationDataCopy&, const NotificationDataCopy&) = default;
};

// Throws std::logic_error when a field the host must supply is missing.
NotificationDataCopy CopyNotificationData(const NotificationData& data);

}  // namespace installation_assistant::engine
