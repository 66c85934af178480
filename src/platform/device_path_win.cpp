// The USB port of a HID device on Windows: its location path, as the configuration manager
// gives it for the USB device node above the HID collection, e.g.
// "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(1)". The configuration manager's calls are looked
// up at run time: a system without one of them (wine lacks the interface property call) then
// only loses the port, and the program still starts.

#include <windows.h>
// initguid first, so that devpkey.h defines the property keys here.
#include <initguid.h>
#include <cfgmgr32.h>
#include <devpkey.h>

#include <string>
#include <vector>

#include "platform/device_path.h"
#include "platform/usb_port.h"
#include "platform/windows_text.h"

namespace qv {
namespace {

using GetInterfaceProperty = CONFIGRET(WINAPI*)(LPCWSTR, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE,
                                                PULONG, ULONG);
using LocateNode = CONFIGRET(WINAPI*)(PDEVINST, DEVINSTID_W, ULONG);
using GetParent = CONFIGRET(WINAPI*)(PDEVINST, DEVINST, ULONG);
using GetNodeProperty = CONFIGRET(WINAPI*)(DEVINST, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE,
                                           PULONG, ULONG);

struct ConfigManager {
  GetInterfaceProperty interface_property = nullptr;
  LocateNode locate = nullptr;
  GetParent parent = nullptr;
  GetNodeProperty node_property = nullptr;

  [[nodiscard]] bool complete() const {
    return interface_property != nullptr && locate != nullptr && parent != nullptr &&
           node_property != nullptr;
  }
};

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const ConfigManager& SystemConfigManager() {
  static const ConfigManager manager = [] {
    ConfigManager calls;
    HMODULE module = LoadLibraryW(L"cfgmgr32.dll");
    if (module == nullptr) return calls;
    calls.interface_property =
        Lookup<GetInterfaceProperty>(module, "CM_Get_Device_Interface_PropertyW");
    calls.locate = Lookup<LocateNode>(module, "CM_Locate_DevNodeW");
    calls.parent = Lookup<GetParent>(module, "CM_Get_Parent");
    calls.node_property = Lookup<GetNodeProperty>(module, "CM_Get_DevNode_PropertyW");
    return calls;
  }();
  return manager;
}

// A string or string-list property; for a list, its first string.
std::wstring FirstString(const std::vector<BYTE>& bytes) {
  const auto* text = reinterpret_cast<const wchar_t*>(bytes.data());
  const std::size_t count = bytes.size() / sizeof(wchar_t);
  std::size_t length = 0;
  while (length < count && text[length] != L'\0') ++length;
  return std::wstring(text, length);
}

std::wstring NodeLocationPath(const ConfigManager& cm, DEVINST node) {
  DEVPROPTYPE type = 0;
  ULONG size = 0;
  if (cm.node_property(node, &DEVPKEY_Device_LocationPaths, &type, nullptr, &size, 0) !=
          CR_BUFFER_SMALL ||
      size == 0) {
    return {};
  }
  std::vector<BYTE> bytes(size, 0);
  if (cm.node_property(node, &DEVPKEY_Device_LocationPaths, &type, bytes.data(), &size, 0) !=
      CR_SUCCESS) {
    return {};
  }
  bytes.resize(size);
  return FirstString(bytes);
}

// The location path's last element names a USB device on its port ("USB(n)"), not an
// interface of a composite device ("USBMI(n)") or a HID collection.
bool EndsAtUsbDevice(const std::wstring& location) {
  const std::size_t last = location.rfind(L'#');
  const std::wstring element = location.substr(last == std::wstring::npos ? 0 : last + 1);
  return element.starts_with(L"USB(");
}

}  // namespace

std::string UsbPortOfDevice(const std::string& device_path) {
  if (std::string port = UsbPortOfInterfacePath(device_path); !port.empty()) return port;
  const ConfigManager& cm = SystemConfigManager();
  if (!cm.complete() || device_path.empty()) return {};
  const std::wstring interface_path = WideFromUtf8(device_path);

  DEVPROPTYPE type = 0;
  ULONG size = 0;
  if (cm.interface_property(interface_path.c_str(), &DEVPKEY_Device_InstanceId, &type, nullptr,
                            &size, 0) != CR_BUFFER_SMALL ||
      size == 0) {
    return {};
  }
  std::vector<BYTE> id_bytes(size, 0);
  if (cm.interface_property(interface_path.c_str(), &DEVPKEY_Device_InstanceId, &type,
                            id_bytes.data(), &size, 0) != CR_SUCCESS) {
    return {};
  }
  std::wstring instance_id = FirstString(id_bytes);

  DEVINST node = 0;
  if (cm.locate(&node, instance_id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return {};
  // A HID collection sits under its USB interface or device: a few steps up at most.
  for (int depth = 0; depth < 8; ++depth) {
    const std::wstring location = NodeLocationPath(cm, node);
    if (!location.empty() && EndsAtUsbDevice(location)) return Utf8FromWide(location);
    DEVINST parent = 0;
    if (cm.parent(&parent, node, 0) != CR_SUCCESS) break;
    node = parent;
  }
  return {};
}

// Windows' hidapi reports a refused open in its error text: the operation, then the system's
// message for the error, in US English (or the system's language where that text is missing).
// The message for "access denied" is asked of the system the same way, so the comparison holds
// in any language the system speaks.
bool DeviceRefusesAccess(const std::string& device_path, const HidapiOpenError& error) {
  if (!error.hidapi_text.empty()) {
    for (const DWORD language : {DWORD{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)}, DWORD{0}}) {
      const std::string denied = WindowsErrorText(ERROR_ACCESS_DENIED, language);
      if (!denied.empty() && error.hidapi_text.find(denied) != std::string::npos) return true;
    }
  }
  // A device interface path can be asked directly, as hidapi opens it.
  if (!device_path.starts_with("\\\\?\\") && !device_path.starts_with("\\\\.\\")) return false;
  const HANDLE handle =
      CreateFileW(WideFromUtf8(device_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return false;
  }
  return GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace qv
