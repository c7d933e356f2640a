// simwin text conversion: MultiByteToWideChar and WideCharToMultiByte for CP_UTF8 (UTF-8 <-> code points).
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/win32.h"

namespace {

// Decodes one UTF-8 sequence at s[i..n); returns the code point or -1 for a malformed sequence, advancing i past what
// was consumed (one byte for a malformed lead).
long DecodeUtf8(const unsigned char* s, int n, int& i) {
  unsigned char c = s[i];
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len;
  long cp;
  long min;
  if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    ++i;
    return -1;
  }
  int j = 1;
  for (; j < len; ++j) {
    if (i + j >= n || (s[i + j] & 0xC0) != 0x80) break;
    cp = (cp << 6) | (s[i + j] & 0x3F);
  }
  if (j < len) {
    // A truncated sequence: Windows replaces the bytes consumed so far with one U+FFFD.
    i += j;
    return -1;
  }
  i += len;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return cp;
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (CodePage != CP_UTF8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int n = cbMultiByte < 0 ? static_cast<int>(std::strlen(lpMultiByteStr)) + 1 : cbMultiByte;
  auto* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  // Written in place, one pass: the engine converts every trace record, some of them kilobytes long.
  int needed = 0;
  for (int i = 0; i < n;) {
    long cp = s[i] < 0x80 ? s[i++] : DecodeUtf8(s, n, i);
    if (cp < 0) {
      if (dwFlags & MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      cp = 0xFFFD;
    }
    if (needed < cchWideChar) lpWideCharStr[needed] = static_cast<wchar_t>(cp);
    ++needed;
  }
  // An invalid sequence anywhere is reported before a short buffer.
  if (cchWideChar > 0 && cchWideChar < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return needed;
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (CodePage != CP_UTF8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  // UTF-8 has no default character: Windows rejects these for CP_UTF8.
  if (lpDefaultChar || lpUsedDefaultChar || !lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int n = cchWideChar < 0 ? static_cast<int>(std::wcslen(lpWideCharStr)) + 1 : cchWideChar;
  std::string out;
  for (int i = 0; i < n; ++i) {
    unsigned long cp = static_cast<unsigned long>(static_cast<uint32_t>(lpWideCharStr[i]));
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      if (dwFlags & WC_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  int needed = static_cast<int>(out.size());
  if (cbMultiByte == 0) return needed;
  if (cbMultiByte < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpMultiByteStr, out.data(), out.size());
  return needed;
}
