// Small owners of what Windows hands out: a kernel handle, a mutex this
// thread took, a device notification, a GDI object, the thread's COM
// apartment. Each gives its object back when it goes, so no early return and
// no exception can leak one. Every layer may use them.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace norvane {

// Owns a handle that CloseHandle closes. Null and INVALID_HANDLE_VALUE,
// which the system's functions give back on failure, are no handle.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
  ~UniqueHandle() { Close(); }
  UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Close();
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }

  HANDLE Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }

 private:
  void Close() {
    if (*this) CloseHandle(m_handle);
    m_handle = nullptr;
  }

  HANDLE m_handle = nullptr;
};

// Owns a mutex the calling thread has taken: lets it go, then closes it.
// It must go on the thread that took it, as ReleaseMutex asks.
class HeldMutex {
 public:
  HeldMutex() = default;
  explicit HeldMutex(UniqueHandle taken) : m_mutex(std::move(taken)) {}
  ~HeldMutex() { LetGo(); }
  HeldMutex(HeldMutex&& other) noexcept = default;
  HeldMutex& operator=(HeldMutex&& other) noexcept {
    if (this != &other) {
      LetGo();
      m_mutex = std::move(other.m_mutex);
    }
    return *this;
  }

  explicit operator bool() const { return static_cast<bool>(m_mutex); }

 private:
  void LetGo() {
    if (m_mutex) ReleaseMutex(m_mutex.Get());
    m_mutex = UniqueHandle();
  }

  UniqueHandle m_mutex;
};

// Owns a registration for device notifications, which
// UnregisterDeviceNotification ends.
class DeviceNotification {
 public:
  DeviceNotification() = default;
  explicit DeviceNotification(HDEVNOTIFY registration) : m_registration(registration) {}
  ~DeviceNotification() { Reset(); }
  DeviceNotification(DeviceNotification&& other) noexcept
      : m_registration(std::exchange(other.m_registration, nullptr)) {}
  DeviceNotification& operator=(DeviceNotification&& other) noexcept {
    if (this != &other) {
      Reset();
      m_registration = std::exchange(other.m_registration, nullptr);
    }
    return *this;
  }

  explicit operator bool() const { return m_registration != nullptr; }
  // What the system names the registration in the notifications it sends.
  HDEVNOTIFY Get() const { return m_registration; }
  // Ends the registration held, if any.
  void Reset() {
    if (m_registration) UnregisterDeviceNotification(m_registration);
    m_registration = nullptr;
  }

 private:
  HDEVNOTIFY m_registration = nullptr;
};

// Owns a GDI object (a brush, a pen, a font, a bitmap) that DeleteObject
// deletes. Delete it only once no device context has it selected.
template <class Object>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Object object) : m_object(object) {}
  ~GdiObject() { Reset(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  Object Get() const { return m_object; }
  // Deletes the object held and holds `object` instead.
  void Reset(Object object = nullptr) {
    if (m_object) DeleteObject(m_object);
    m_object = object;
  }

 private:
  Object m_object = nullptr;
};

// The calling thread in a single-threaded COM apartment for as long as this
// lives; left again only when it was entered here.
class ComApartment {
 public:
  ComApartment() : m_entered(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (m_entered) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool m_entered;
};

}  // namespace norvane
