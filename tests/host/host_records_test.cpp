#include "host/host_records.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace installation_assistant::engine {
namespace {

std::string LogicErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::logic_error& error) {
    return error.what();
  }
  return "(no error)";
}

ServiceReport ValidReport() {
  static const unsigned char bytes[] = {'O', 'K', 0, 'x'};
  ServiceReport report = {};
  report.patternId = 3;
  report.resultCode = 4;
  report.genericPattern = 1;
  report.elementType = 9;
  report.controlDataSize = sizeof(bytes);
  report.controlData = bytes;
  report.controlPath = "Pattern(1)/CheckBox";
  report.userAction = "checked";
  report.desiredState = "unchecked";
  report.patternVersion = "1.2.3.4";
  report.reserved1 = 5;
  report.reserved2 = 6;
  return report;
}

TEST(ServiceReportTest, ChecksFieldsInOrder) {
  struct Case {
    std::function<void(ServiceReport&)> breakIt;
    std::string error;
  };
  const std::vector<Case> cases = {
      {[](ServiceReport& r) { r.controlPath = nullptr, r.userAction = nullptr; }, "Invalid controlPath"},
      {[](ServiceReport& r) { r.userAction = nullptr, r.desiredState = nullptr; }, "Invalid userAction"},
      {[](ServiceReport& r) { r.desiredState = nullptr; }, "Invalid desredState"},
      {[](ServiceReport& r) { r.patternVersion = nullptr, r.controlData = nullptr; }, "Invalid patternVersion"},
      {[](ServiceReport& r) { r.controlData = nullptr; }, "Invalid controlDataSize or contronData"},
      {[](ServiceReport& r) { r.controlData = nullptr, r.controlDataSize = 0; }, "(no error)"},
      {[](ServiceReport& r) { r.controlPath = "", r.userAction = ""; }, "(no error)"},
  };
  for (const Case& c : cases) {
    ServiceReport report = ValidReport();
    c.breakIt(report);
    EXPECT_EQ(LogicErrorOf([&] { ToServiceReportData(report); }), c.error);
  }
}

const unsigned char kIconBytes[] = {0, 0, 1, 0, 1, 0};

NotificationData ValidNotification(const NotificationIcon* icons, unsigned int count) {
  NotificationData data = {};
  data.flag = true;
  data.title = "Title";
  data.description = "Description";
  data.okButton = "OK";
  data.cancelButton = "Cancel";
  data.iconCount = count;
  data.icons = icons;
  return data;
}

TEST(NotificationDataTest, ChecksFieldsInOrder) {
  const NotificationIcon goodIcons[] = {{0, 7, sizeof(kIconBytes), kIconBytes}, {1, 0, 0, nullptr}};
  const NotificationIcon badIcons[] = {{0, 7, sizeof(kIconBytes), kIconBytes}, {1, 0, 4, nullptr}};
  struct Case {
    std::function<void(NotificationData&)> change;
    std::string error;
  };
  const std::vector<Case> cases = {
      {[](NotificationData& d) { d.icons = nullptr, d.iconCount = 2, d.title = nullptr; },
       "Invalid icon data or icon data size"},
      {[](NotificationData& d) { d.icons = nullptr, d.iconCount = 0; }, "(no error)"},
      {[](NotificationData& d) { d.title = nullptr, d.description = nullptr; }, "Invalid title"},
      {[](NotificationData& d) { d.description = nullptr, d.okButton = nullptr; }, "Invalid description"},
      {[](NotificationData& d) { d.okButton = nullptr; }, "Invalid okButton text"},
      {[](NotificationData& d) { d.cancelButton = nullptr; }, "Invalid cancelButton text"},
      {[&badIcons](NotificationData& d) { d.icons = badIcons; }, "invalid icon data"},
      {[](NotificationData& d) { d.title = ""; }, "(no error)"},
  };
  for (const Case& c : cases) {
    NotificationData data = ValidNotification(goodIcons, 2);
    c.change(data);
    EXPECT_EQ(LogicErrorOf([&] { CopyNotificationData(data); }), c.error);
  }
}

TEST(NotificationDataTest, CopiesTextsAndIconsAndLooksUpById) {
  const NotificationIcon icons[] = {{1, 3, 0, nullptr}, {0, 7, sizeof(kIconBytes), kIconBytes}};
  const NotificationDataCopy copy = CopyNotificationData(ValidNotification(icons, 2));
  EXPECT_EQ(copy.Icon(0).value1, 7);
  EXPECT_EQ(copy.Icon(0).data, std::vector<unsigned char>(std::begin(kIconBytes), std::end(kIconBytes)));
  EXPECT_EQ(copy.Icon(1).value1, 3);
  EXPECT_TRUE(copy.Icon(1).data.empty());
  EXPECT_TRUE(copy.Icon(5).data.empty());
}

}  // namespace
}  // namespace installation_assistant::engine
