// Conformance of what one process hands another to name an event: a GUID in registry form, an ANSI event name.
#include <string>

#include "conformance.h"

namespace {

TEST(Guids, RegistryFormAndRandomVersion) {
  const GUID known = {0x72A5D8AA, 0x57E8, 0x4C84, {0xA1, 0x70, 0x6E, 0x4E, 0x92, 0x4C, 0x03, 0xC9}};
  wchar_t text[39] = {};
  EXPECT_EQ(StringFromGUID2(known, text, 39), 39);
  EXPECT_EQ(std::wstring(text), L"{72A5D8AA-57E8-4C84-A170-6E4E924C03C9}");
  EXPECT_EQ(StringFromGUID2(known, text, 38), 0) << "no room for the terminating null";

  GUID a{}, b{};
  ASSERT_EQ(CoCreateGuid(&a), S_OK);
  ASSERT_EQ(CoCreateGuid(&b), S_OK);
  EXPECT_FALSE(IsEqualGUID(a, b));
  EXPECT_EQ(a.Data3 >> 12, 4) << "version 4: random";
  EXPECT_EQ(a.Data4[0] & 0xC0, 0x80) << "RFC 4122 variant";
}

TEST(Events, AnsiNameOpensTheSameManualResetEvent) {
  GUID id{};
  ASSERT_EQ(CoCreateGuid(&id), S_OK);
  wchar_t wide[39] = {};
  ASSERT_EQ(StringFromGUID2(id, wide, 39), 39);
  const std::string name(wide, wide + 38);
  HANDLE created = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(created, nullptr);
  HANDLE opened = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
  ASSERT_NE(opened, nullptr) << GetLastError();
  EXPECT_TRUE(SetEvent(opened));
  EXPECT_EQ(WaitForSingleObject(created, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(created, 0), WAIT_OBJECT_0) << "manual reset: stays set";
  HANDLE wideOpen = OpenEventW(SYNCHRONIZE, FALSE, wide);
  EXPECT_NE(wideOpen, nullptr) << "the same name seen as UTF-16";
  CloseHandle(wideOpen);
  CloseHandle(opened);
  CloseHandle(created);
  EXPECT_FAILS_WITH(OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()), ERROR_FILE_NOT_FOUND)
      << "gone with its last handle";
}

}  // namespace
