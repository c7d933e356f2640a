#include <cstdint>

#include "common/trace.h"
#include "notification/sticker.h"

namespace installation_assistant::notification {
namespace {

uint16_t Word(const unsigned char* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
uint32_t Dword(const unsigned char* at) { return Word(at) | static_cast<uint32_t>(Word(at + 2)) << 16; }

constexpr std::size_t kHeaderSize = 6;
// An .ico file's entries are 16 bytes and end in the image's offset; LookupIconIdFromDirectory reads a resource
// directory's 14-byte entries, whose last word (the image's id) falls on the low word of the first entry's offset.
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kBytesInImageField = 8;
constexpr std::size_t kImageOffsetField = 12;

}  // namespace

UniqueIcon IconFromDirectory(const unsigned char* bytes, std::size_t size) {
  if (bytes == nullptr || size == 0) return UniqueIcon();
  if (size < kHeaderSize || Word(bytes) != 0 || Word(bytes + 2) != 1 || Word(bytes + 4) == 0) {
    TRACE(Warning) << "Notification icon: not an icon directory (" << size << " bytes)";
    return UniqueIcon();
  }
  const std::size_t count = Word(bytes + 4);
  const std::size_t directorySize = kHeaderSize + count * kFileEntrySize;
  if (directorySize > size) {
    TRACE(Warning) << "Notification icon: " << count << " entries do not fit in " << size << " bytes";
    return UniqueIcon();
  }
  // The lookup takes no size; it reads less than the directory checked above.
  const int id = LookupIconIdFromDirectory(const_cast<PBYTE>(bytes), TRUE);
  // The id is an image's offset only when it is the offset of an entry: with more than one entry the lookup's
  // stride runs out of step with the file's and may return anything.
  const unsigned char* chosen = nullptr;
  for (std::size_t i = 0; i < count && chosen == nullptr && id > 0; ++i) {
    const unsigned char* entry = bytes + kHeaderSize + i * kFileEntrySize;
    if (Dword(entry + kImageOffsetField) == static_cast<uint32_t>(id)) chosen = entry;
  }
  const auto offset = static_cast<std::size_t>(id > 0 ? id : 0);
  if (chosen == nullptr || offset < directorySize || offset >= size ||
      Dword(chosen + kBytesInImageField) > size - offset) {
    TRACE(Warning) << "Notification icon: no image of the directory's " << count << " lies within its " << size
                   << " bytes (lookup gave " << id << ")";
    return UniqueIcon();
  }
  const HICON icon = CreateIconFromResourceEx(const_cast<PBYTE>(bytes + offset), static_cast<DWORD>(size - offset),
                                              TRUE, 0x00030000, 0, 0, 0);
  if (icon == nullptr) TRACE(Warning) << "Notification icon: image cannot be read, error " << GetLastError();
  return UniqueIcon(icon);
}

}  // namespace installation_assistant::notification
