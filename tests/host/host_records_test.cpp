#include "host/host_records.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/raised.h"

namespace installation_assistant::engine {
namespace {

using testing::LogicErrorOf;

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
      {[](NotificationData& d) { d.icons = nullptr, d.iconCount = 0; }, "no exception"},
      {[](NotificationData& d) { d.title = nullptr, d.description = nullptr; }, "Invalid title"},
      {[](NotificationData& d) { d.description = nullptr, d.okButton = nullptr; }, "Invalid description"},
      {[](NotificationData& d) { d.okButton = nullptr; }, "Invalid okButton text"},
      {[](NotificationData& d) { d.cancelButton = nullptr; }, "Invalid cancelButton text"},
      {[&badIcons](NotificationData& d) { d.icons = badIcons; }, "invalid icon data"},
      {[](NotificationData& d) { d.title = ""; }, "no exception"},
  };
  for (const Case& c : cases) {
    NotificationData data = ValidNotification(goodIcons, 2);
    c.change(data);
    EXPECT_EQ(LogicErrorOf([&] { CopyNotificationData(data); }), c.error);
  }
}

}  // namespace
}  // namespace installation_assistant::engine
