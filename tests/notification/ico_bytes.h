// A small .ico file made in memory: the bytes a host hands over as the sticker's icon.
#pragma once

#include <cstdint>
#include <vector>

namespace installation_assistant::testing {

inline void Put16(std::vector<unsigned char>& out, uint32_t v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}
inline void Put32(std::vector<unsigned char>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// One 32-bit square image of one colour, after a one-entry directory.
inline std::vector<unsigned char> IcoFile(int size, uint32_t argb) {
  std::vector<unsigned char> image;
  Put32(image, 40);
  Put32(image, static_cast<uint32_t>(size));
  Put32(image, static_cast<uint32_t>(2 * size));
  Put16(image, 1);
  Put16(image, 32);
  for (int i = 0; i < 6; ++i) Put32(image, 0);
  for (int i = 0; i < size * size; ++i) Put32(image, argb);
  image.resize(image.size() + static_cast<std::size_t>(size) * ((size + 31) / 32) * 4, 0);

  std::vector<unsigned char> file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, 1);
  file.push_back(static_cast<unsigned char>(size));
  file.push_back(static_cast<unsigned char>(size));
  file.push_back(0);
  file.push_back(0);
  Put16(file, 1);
  Put16(file, 32);
  Put32(file, static_cast<uint32_t>(image.size()));
  Put32(file, 6 + 16);
  file.insert(file.end(), image.begin(), image.end());
  return file;
}

}  // namespace installation_assistant::testing
