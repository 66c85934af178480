#pragma once

#include <hidapi/hidapi.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/hid_bus.h"

namespace qv {

// The few hidapi calls the adapter makes, as a table: the system's library in the programs,
// scripted stand-ins in the adapter's own test.
struct HidapiCalls {
  int (*init)();
  hid_device_info* (*enumerate)(unsigned short vendor_id, unsigned short product_id);
  void (*free_enumeration)(hid_device_info* list);
  hid_device* (*open_path)(const char* path);
  void (*close)(hid_device* device);
  hid_device_info* (*get_device_info)(hid_device* device);
  int (*write)(hid_device* device, const unsigned char* data, std::size_t length);
  int (*read_timeout)(hid_device* device, unsigned char* data, std::size_t length,
                      int milliseconds);
  // hidapi's text for the last failure; with a null device, of the last call made without one.
  const wchar_t* (*error)(hid_device* device);
};

// hidapi's wide strings as UTF-8. UTF-16 surrogate pairs (Windows' wchar_t) are joined into one
// character; a unit that is no character becomes U+FFFD.
[[nodiscard]] std::string Utf8FromHidapi(const wchar_t* text);

// HidBus over the given calls, which must outlive it. SystemHidBus is one over the system's
// hidapi.
[[nodiscard]] std::unique_ptr<HidBus> MakeHidapiBus(const HidapiCalls& calls);

}  // namespace qv
