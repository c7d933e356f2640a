// Fuzzes the copies of the records that cross the host boundary and the UTF-8/UTF-16 conversions behind every
// host and element text, with any bytes in the strings: invalid UTF-8, lone surrogates, texts up to 1 MiB.
//
// Input: a flags byte, a repeat byte, then NUL-separated fields (the strings of a C record cannot hold a NUL).
// Checks: the report survives its round trip through the borrowed C record; a missing string is refused with
// std::logic_error and nothing else; the notification copy holds what the host gave; the conversions give valid
// UTF-8 and scalar values only, round trip valid text unchanged, and are stable after one pass over bad text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/text.h"
#include "fuzz_input.h"
#include "host/host_records.h"

namespace {

using namespace installation_assistant;
using namespace installation_assistant::engine;

constexpr std::size_t kMaxText = 1024 * 1024;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsScalar(std::uint32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

// Strict UTF-8: shortest forms and scalar values only.
bool IsValidUtf8(const std::string& text) {
  static constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};  // by the sequence's length
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t len =
        lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > text.size()) return false;
    std::uint32_t cp = len == 1 ? lead : lead & (0x7F >> len);
    for (std::size_t j = 1; j < len; ++j) {
      const auto next = static_cast<unsigned char>(text[i + j]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < kShortest[len] || !IsScalar(cp)) return false;
    i += len;
  }
  return true;
}

bool AllScalars(const std::wstring& text) {
  return std::all_of(text.begin(), text.end(), [](wchar_t c) { return IsScalar(static_cast<std::uint32_t>(c)); });
}

// Large texts from small inputs: a few copies, or at 0xFF as many as fit in kMaxText (rarely: they are slow).
std::string Grow(const std::string& text, unsigned times) {
  if (text.empty() || times < 2) return text;
  std::string grown;
  const std::size_t copies = times == 0xFF ? kMaxText / text.size() : times % 16;
  grown.reserve(copies * text.size());
  for (std::size_t i = 0; i < copies; ++i) grown += text;
  return grown;
}

void CheckConversions(const std::string& bytes) {
  const std::wstring wide = Utf8ToWide(bytes);
  Check(bytes.empty() == wide.empty());
  Check(wide != kConversionErrorTextW);
  Check(AllScalars(wide));
  const std::string back = WideToUtf8(wide);
  Check(IsValidUtf8(back));
  if (IsValidUtf8(bytes)) Check(back == bytes);
  Check(Utf8ToWide(back) == wide);  // one pass leaves nothing more to replace

  // The same bytes as 16-bit units, as a host's or the system's wide text would hold them: lone surrogates
  // included. Whatever the units, the result is UTF-8 and converts back to scalars.
  std::wstring units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<wchar_t>((static_cast<unsigned char>(bytes[i]) << 8) |
                                         static_cast<unsigned char>(bytes[i + 1])));
  }
  const std::string narrow = WideToUtf8(units);
  Check(units.empty() == narrow.empty());
  Check(narrow != kConversionErrorText);
  Check(IsValidUtf8(narrow));
  if (AllScalars(units)) Check(Utf8ToWide(narrow) == units);
}

void CheckReport(iae_fuzz::FuzzInput& input, unsigned flags, unsigned times) {
  ServiceReportData data;
  data.patternId = input.Int();
  data.resultCode = input.Int();
  data.genericPattern = input.Byte();
  data.elementType = input.Byte();
  const std::string control = input.Field();
  data.controlData.assign(control.begin(), control.end());
  data.controlPath = Grow(input.Field(), times);
  data.userAction = input.Field();
  data.desiredState = input.Field();
  data.patternVersion = input.Field();
  data.reserved1 = input.Int();
  data.reserved2 = input.Int();

  ServiceReport report = ToServiceReport(data);
  Check(ToServiceReportData(report) == data);

  // Each bit takes one pointer away; the copy must refuse the record exactly then, and only with logic_error.
  if (flags & 0x01) report.controlPath = nullptr;
  if (flags & 0x02) report.userAction = nullptr;
  if (flags & 0x04) report.desiredState = nullptr;
  if (flags & 0x08) report.patternVersion = nullptr;
  if (flags & 0x10) report.controlData = nullptr;
  const bool broken = (flags & 0x0F) != 0 || ((flags & 0x10) && report.controlDataSize != 0);
  bool refused = false;
  try {
    ServiceReportData copy = ToServiceReportData(report);
    Check(copy.patternId == data.patternId && copy.controlData == data.controlData);
  } catch (const std::logic_error&) {
    refused = true;
  }
  Check(refused == broken);
}

void CheckNotification(iae_fuzz::FuzzInput& input, unsigned flags, unsigned times) {
  const std::string title = Grow(input.Field(), times);
  const std::string description = input.Field();
  const std::string ok = input.Field();
  const std::string cancel = input.Field();
  std::vector<std::string> iconBytes;
  std::vector<NotificationIcon> icons;
  const unsigned count = input.Byte() % 8;
  iconBytes.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    const int id = input.Byte() % 4;  // few ids, so that duplicates occur
    const int value = input.Int();
    iconBytes.push_back(input.Field());
    const std::string& bytes = iconBytes.back();
    icons.push_back(NotificationIcon{id, value, static_cast<unsigned>(bytes.size()),
                                     reinterpret_cast<const unsigned char*>(bytes.data())});
  }
  NotificationData data{(flags & 0x20) != 0, title.c_str(), description.c_str(), ok.c_str(), cancel.c_str(),
                        count, icons.data()};
  if (count == 0 && (flags & 0x40)) data.icons = nullptr;  // allowed when there are none

  const NotificationDataCopy copy = CopyNotificationData(data);
  Check(copy.flag == data.flag && copy.title == title && copy.description == description && copy.okButton == ok &&
        copy.cancelButton == cancel && copy.icons.size() == count);
  for (int id = 0; id < 5; ++id) {
    const auto first = std::find_if(icons.begin(), icons.end(), [id](const auto& icon) { return icon.iconId == id; });
    const NotificationIconCopy icon = copy.Icon(id);
    Check(icon.iconId == id);
    if (first == icons.end()) {
      Check(icon.data.empty() && icon.value1 == 0);
    } else {
      Check(icon.value1 == first->value1 && icon.data == std::vector<unsigned char>(first->data,
                                                                                    first->data + first->dataSize));
    }
  }

  data.title = (flags & 0x80) ? nullptr : data.title;
  bool refused = false;
  try {
    (void)CopyNotificationData(data);
  } catch (const std::logic_error&) {
    refused = true;
  }
  Check(refused == ((flags & 0x80) != 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  iae_fuzz::FuzzInput input(data, size);
  const unsigned flags = input.Byte();
  const unsigned times = input.Byte();
  // Converting 1 MiB takes most of a second under the sanitizers: only when both bytes ask for it.
  CheckConversions(Grow(std::string(reinterpret_cast<const char*>(data), size), flags == 0xFF ? times : times & 0x7F));
  CheckReport(input, flags, times);
  CheckNotification(input, flags, times);
  return 0;
}
