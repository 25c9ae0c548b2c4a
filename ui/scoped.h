// Small owners of what the system hands out: a kernel handle, a GDI object,
// the thread's COM apartment. Each gives its object back when it goes, so no
// early return and no exception can leak one.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace norvane::ui {

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

}  // namespace norvane::ui
