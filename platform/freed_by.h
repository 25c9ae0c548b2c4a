// The deleter that gives a C library's object back through the library's own
// function, for std::unique_ptr: std::unique_ptr<udev, FreedBy<udev_unref>>.
#pragma once

namespace norvane {

template <auto Free>
struct FreedBy {
  template <class Object>
  void operator()(Object* object) const {
    Free(object);
  }
};

}  // namespace norvane
