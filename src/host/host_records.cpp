#include "host/host_records.h"

#include <stdexcept>

namespace installation_assistant::engine {

ServiceReport ToServiceReport(const ServiceReportData& data) {
  ServiceReport report = {};
  report.patternId = data.patternId;
  report.resultCode = data.resultCode;
  report.genericPattern = data.genericPattern;
  report.elementType = data.elementType;
  report.controlDataSize = static_cast<unsigned int>(data.controlData.size());
  report.controlData = data.controlData.data();
  report.controlPath = data.controlPath.c_str();
  report.userAction = data.userAction.c_str();
  report.desiredState = data.desiredState.c_str();
  report.patternVersion = data.patternVersion.c_str();
  report.reserved1 = data.reserved1;
  report.reserved2 = data.reserved2;
  return report;
}

ServiceReportData ToServiceReportData(const ServiceReport& report) {
  if (report.controlPath == nullptr) throw std::logic_error("Invalid controlPath");
  if (report.userAction == nullptr) throw std::logic_error("Invalid userAction");
  if (report.desiredState == nullptr) throw std::logic_error("Invalid desredState");
  if (report.patternVersion == nullptr) throw std::logic_error("Invalid patternVersion");
  if (report.controlDataSize != 0 && report.controlData == nullptr) {
    throw std::logic_error("Invalid controlDataSize or contronData");
  }
  ServiceReportData data;
  data.patternId = report.patternId;
  data.resultCode = report.resultCode;
  data.genericPattern = report.genericPattern;
  data.elementType = report.elementType;
  if (report.controlDataSize != 0) {
    data.controlData.assign(report.controlData, report.controlData + report.controlDataSize);
  }
  data.controlPath = report.controlPath;
  data.userAction = report.userAction;
  data.desiredState = report.desiredState;
  data.patternVersion = report.patternVersion;
  data.reserved1 = report.reserved1;
  data.reserved2 = report.reserved2;
  return data;
}

NotificationIconCopy NotificationDataCopy::Icon(int iconId) const {
  for (const NotificationIconCopy& icon : icons) {
    if (icon.iconId == iconId) return icon;
  }
  return NotificationIconCopy{iconId, 0, {}};
}

NotificationDataCopy CopyNotificationData(const NotificationData& data) {
  if (data.iconCount != 0 && data.icons == nullptr) throw std::logic_error("Invalid icon data or icon data size");
  if (data.title == nullptr) throw std::logic_error("Invalid title");
  if (data.description == nullptr) throw std::logic_error("Invalid description");
  if (data.okButton == nullptr) throw std::logic_error("Invalid okButton text");
  if (data.cancelButton == nullptr) throw std::logic_error("Invalid cancelButton text");

  NotificationDataCopy copy;
  copy.flag = data.flag;
  copy.title = data.title;
  copy.description = data.description;
  copy.okButton = data.okButton;
  copy.cancelButton = data.cancelButton;
  copy.icons.reserve(data.iconCount);
  for (unsigned int i = 0; i < data.iconCount; ++i) {
    const NotificationIcon& icon = data.icons[i];
    if (icon.dataSize != 0 && icon.data == nullptr) throw std::logic_error("invalid icon data");
    NotificationIconCopy iconCopy{icon.iconId, icon.value1, {}};
    if (icon.dataSize != 0) iconCopy.data.assign(icon.data, icon.data + icon.dataSize);
    copy.icons.push_back(std::move(iconCopy));
  }
  return copy;
}

}  // namespace installation_assistant::engine
