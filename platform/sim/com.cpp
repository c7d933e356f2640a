// simwin OLE Automation basics: BSTR and VARIANT.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "platform/sim/acc_internal.h"

namespace simwin::detail {

std::atomic<long> g_liveBstrs{0};

}  // namespace simwin::detail

using namespace simwin::detail;

namespace {

// The length in units sits in front of the characters, as Windows keeps its byte count there.
struct BstrHeader {
  UINT length;
};
constexpr size_t kHeader = alignof(std::max_align_t) > sizeof(BstrHeader) ? alignof(std::max_align_t)
                                                                          : sizeof(BstrHeader);

BstrHeader* HeaderOf(BSTR s) { return reinterpret_cast<BstrHeader*>(reinterpret_cast<char*>(s) - kHeader); }

}  // namespace

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  char* block = static_cast<char*>(std::malloc(kHeader + (static_cast<size_t>(ui) + 1) * sizeof(OLECHAR)));
  if (!block) return nullptr;
  reinterpret_cast<BstrHeader*>(block)->length = ui;
  BSTR s = reinterpret_cast<BSTR>(block + kHeader);
  if (strIn) {
    std::wmemcpy(s, strIn, ui);
  } else {
    std::wmemset(s, 0, ui);
  }
  s[ui] = 0;
  ++g_liveBstrs;
  return s;
}

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(std::wcslen(psz)));
}

void WINAPI SysFreeString(BSTR bstrString) {
  if (!bstrString) return;
  --g_liveBstrs;
  std::free(HeaderOf(bstrString));
}

UINT WINAPI SysStringLen(BSTR pbstr) { return pbstr ? HeaderOf(pbstr)->length : 0; }
UINT WINAPI SysStringByteLen(BSTR bstr) { return SysStringLen(bstr) * static_cast<UINT>(sizeof(OLECHAR)); }

void WINAPI VariantInit(VARIANTARG* pvarg) {
  if (!pvarg) return;
  pvarg->vt = VT_EMPTY;
  pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_DISPATCH:
      if (pvarg->pdispVal) pvarg->pdispVal->Release();
      break;
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    default:
      // Arrays and records are not supported; by-reference values are not owned.
      if ((pvarg->vt & VT_ARRAY) && !(pvarg->vt & VT_BYREF)) return DISP_E_BADVARTYPE;
      break;
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if ((pvargSrc->vt & VT_ARRAY) && !(pvargSrc->vt & VT_BYREF)) return DISP_E_BADVARTYPE;
  HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  *pvargDest = *pvargSrc;
  switch (pvargSrc->vt) {
    case VT_BSTR:
      if (pvargSrc->bstrVal) {
        pvargDest->bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (!pvargDest->bstrVal) {
          pvargDest->vt = VT_EMPTY;
          return E_OUTOFMEMORY;
        }
      }
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (pvargSrc->punkVal) pvargSrc->punkVal->AddRef();
      break;
    default:
      break;
  }
  return S_OK;
}
