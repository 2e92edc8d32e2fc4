//===- SysInfo.cpp - Machine names, shell folders, accounts on Windows -----===//
//
// Thin forwarders to kernel32, shell32 and netapi32, and the WMI query over
// COM: connect to the namespace, run one WQL query for the property, read
// it from the first instance. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/sysinfo.h"
#include "WindowsSupport.h"

#include <lm.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>
#include <wbemcli.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace zelsys {

namespace {

static_assert(sizeof(::USER_INFO_0) == sizeof(USER_INFO_0), "USER_INFO_0 size");
static_assert(sizeof(::GROUP_INFO_0) == sizeof(GROUP_INFO_0), "GROUP_INFO_0 size");
static_assert(static_cast<int>(::ComputerNameDnsFullyQualified) ==
                  static_cast<int>(ComputerNameDnsFullyQualified),
              "COMPUTER_NAME_FORMAT values");
static_assert(static_cast<int>(::ComputerNameMax) == static_cast<int>(ComputerNameMax),
              "COMPUTER_NAME_FORMAT values");

// WMI's status codes as the interface's HRESULT (they are enumerators of
// an unsigned type in the system headers).
constexpr HRESULT kNotFound = static_cast<HRESULT>(static_cast<DWORD>(WBEM_E_NOT_FOUND));
constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(static_cast<DWORD>(WBEM_E_TYPE_MISMATCH));

// Releases a COM interface on every way out.
template <class Interface> class ComPtr {
public:
  ComPtr() = default;
  ComPtr(const ComPtr &) = delete;
  ComPtr &operator=(const ComPtr &) = delete;
  ~ComPtr() {
    if (m_p != nullptr)
      m_p->Release();
  }
  Interface *operator->() const { return m_p; }
  Interface *get() const { return m_p; }
  Interface **out() { return &m_p; }

private:
  Interface *m_p = nullptr;
};

// A BSTR freed on every way out.
class Bstr {
public:
  explicit Bstr(const wchar_t *text) : m_b(::SysAllocString(text)) {}
  Bstr(const Bstr &) = delete;
  Bstr &operator=(const Bstr &) = delete;
  ~Bstr() { ::SysFreeString(m_b); }
  BSTR get() const { return m_b; }

private:
  BSTR m_b;
};

// The class and property go into the query text: only plain WQL names are
// taken, so no caller's text can change the query.
bool isWqlName(std::u16string_view name) {
  if (name.empty())
    return false;
  for (const char16_t unit : name)
    if (!((unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z') ||
          (unit >= u'0' && unit <= u'9') || unit == u'_'))
      return false;
  return true;
}

// Queries run as the current user, who may act through the proxy.
HRESULT setBlanket(IUnknown *pProxy) {
  return ::CoSetProxyBlanket(pProxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                             RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                             EOAC_NONE);
}

} // namespace

BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, DWORD *nSize) {
  return ::GetComputerNameExW(static_cast<::COMPUTER_NAME_FORMAT>(NameType), win32::wide(lpBuffer),
                              reinterpret_cast<::LPDWORD>(nSize));
}

BOOL GetComputerNameW(LPWSTR lpBuffer, DWORD *nSize) {
  return ::GetComputerNameW(win32::wide(lpBuffer), reinterpret_cast<::LPDWORD>(nSize));
}

HRESULT SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath) {
  return ::SHGetFolderPathW(reinterpret_cast<::HWND>(hwnd), csidl, static_cast<::HANDLE>(hToken),
                            dwFlags, win32::wide(pszPath));
}

NET_API_STATUS NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter, LPBYTE *bufptr,
                           DWORD prefmaxlen, DWORD *entriesread, DWORD *totalentries,
                           DWORD *resume_handle) {
  return ::NetUserEnum(win32::wide(servername), level, filter, reinterpret_cast<::LPBYTE *>(bufptr),
                       prefmaxlen, reinterpret_cast<::LPDWORD>(entriesread),
                       reinterpret_cast<::LPDWORD>(totalentries),
                       reinterpret_cast<::LPDWORD>(resume_handle));
}

NET_API_STATUS NetGroupEnum(LPCWSTR servername, DWORD level, LPBYTE *bufptr, DWORD prefmaxlen,
                            DWORD *entriesread, DWORD *totalentries, DWORD_PTR *resume_handle) {
  return ::NetGroupEnum(win32::wide(servername), level, reinterpret_cast<::LPBYTE *>(bufptr),
                        prefmaxlen, reinterpret_cast<::LPDWORD>(entriesread),
                        reinterpret_cast<::LPDWORD>(totalentries),
                        reinterpret_cast<::PDWORD_PTR>(resume_handle));
}

NET_API_STATUS NetApiBufferFree(LPVOID Buffer) { return ::NetApiBufferFree(Buffer); }

HRESULT queryWmiString(LPCWSTR lpNamespace, LPCWSTR lpClass, LPCWSTR lpProperty,
                       std::u16string &value, WmiStep *pFailedStep) {
  auto fail = [&](WmiStep step, HRESULT result) {
    if (pFailedStep != nullptr)
      *pFailedStep = step;
    return result;
  };
  if (lpNamespace == nullptr || lpClass == nullptr || lpProperty == nullptr ||
      !isWqlName(lpClass) || !isWqlName(lpProperty))
    return fail(WmiStep::Connect, E_INVALIDARG);

  // A thread already in the single-threaded apartment keeps it: the query
  // works there too, and only a successful initialisation is undone.
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(init) && init != RPC_E_CHANGED_MODE)
    return fail(WmiStep::Initialize, init);
  struct Apartment {
    bool bOwned;
    ~Apartment() {
      if (bOwned)
        ::CoUninitialize();
    }
  } apartment{SUCCEEDED(init)};

  // Declared after the apartment, so released before it ends.
  ComPtr<IWbemLocator> locator;
  HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void **>(locator.out()));
  if (FAILED(hr))
    return fail(WmiStep::Initialize, hr);
  ComPtr<IWbemServices> services;
  const Bstr space(win32::wide(lpNamespace));
  hr = locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                              services.out());
  if (FAILED(hr))
    return fail(WmiStep::Connect, hr);
  hr = setBlanket(services.get());
  if (FAILED(hr))
    return fail(WmiStep::Connect, hr);

  const std::u16string text = u"SELECT " + std::u16string(lpProperty) + u" FROM " + lpClass;
  const Bstr language(L"WQL");
  const Bstr query(win32::wide(text.c_str()));
  ComPtr<IEnumWbemClassObject> instances;
  hr = services->ExecQuery(language.get(), query.get(),
                           WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                           instances.out());
  if (FAILED(hr))
    return fail(WmiStep::Query, hr);
  (void)setBlanket(instances.get());

  ComPtr<IWbemClassObject> instance;
  ::ULONG returned = 0;
  hr = instances->Next(static_cast<long>(WBEM_INFINITE), 1, instance.out(), &returned);
  if (FAILED(hr))
    return fail(WmiStep::Next, hr);
  if (returned == 0)
    return fail(WmiStep::Next, kNotFound);

  VARIANT property;
  ::VariantInit(&property);
  hr = instance->Get(win32::wide(lpProperty), 0, &property, nullptr, nullptr);
  if (FAILED(hr))
    return fail(WmiStep::Get, hr);
  if (property.vt != VT_BSTR || property.bstrVal == nullptr) {
    ::VariantClear(&property);
    return fail(WmiStep::Get, kTypeMismatch);
  }
  value.assign(reinterpret_cast<const char16_t *>(property.bstrVal),
               ::SysStringLen(property.bstrVal));
  ::VariantClear(&property);
  return S_OK;
}

} // namespace zelsys
