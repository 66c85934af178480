// The machine-wide named mutex as a Windows mutex object in the Global namespace. Global, not
// the session's Local namespace: there is one device bus per machine, and a second user signed
// in on the same machine (fast user switching, a remote session) must meet the same lock.
// Creating a mutex there needs no privilege. The system closes the holder's handle when it
// ends, crashes included, and the object is gone with the last handle.

#include <windows.h>

#include <string>

#include "platform/named_mutex.h"
#include "platform/windows_text.h"

namespace qv {
namespace {

constexpr const wchar_t* kNamespacePrefix = L"Global\\";

class WindowsMutexHandle final : public NamedMutexHandle {
 public:
  explicit WindowsMutexHandle(HANDLE handle) : handle_(handle) {}
  ~WindowsMutexHandle() override { CloseHandle(handle_); }
  WindowsMutexHandle(const WindowsMutexHandle&) = delete;
  WindowsMutexHandle& operator=(const WindowsMutexHandle&) = delete;

 private:
  HANDLE handle_;
};

class WindowsNamedMutexes final : public NamedMutexSystem {
 public:
  [[nodiscard]] NamedMutexResult Create(const std::string& name) override {
    NamedMutexResult result;
    if (name.empty() || name.find('\\') != std::string::npos) return result;
    const std::wstring full_name = kNamespacePrefix + WideFromUtf8(name);
    // Not owned on creation: the object's existence is the lock, as the name is on Linux.
    HANDLE handle = CreateMutexW(nullptr, FALSE, full_name.c_str());
    const DWORD error = GetLastError();
    if (handle == nullptr) {
      // Another user's process made the object with a security descriptor this user may not
      // open: it exists, so it is held.
      if (error == ERROR_ACCESS_DENIED) result.status = NamedMutexStatus::kAlreadyExists;
      return result;
    }
    if (error == ERROR_ALREADY_EXISTS) {
      CloseHandle(handle);
      result.status = NamedMutexStatus::kAlreadyExists;
      return result;
    }
    result.status = NamedMutexStatus::kCreated;
    result.handle = std::make_unique<WindowsMutexHandle>(handle);
    return result;
  }

  [[nodiscard]] std::optional<LockHolder> Holder(const std::string& name) override {
    return FindLockHolder(name);
  }
};

}  // namespace

NamedMutexSystem& SystemNamedMutexes() {
  static WindowsNamedMutexes mutexes;
  return mutexes;
}

}  // namespace qv
