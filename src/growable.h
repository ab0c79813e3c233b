// A growable array of plain values that reports running out of memory
// instead of throwing, so a sweep can note the failure and go on.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>

template <typename T>
class Growable {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  Growable() = default;
  Growable(const Growable&) = delete;
  Growable& operator=(const Growable&) = delete;
  ~Growable() { std::free(items_); }

  // Appends `count` items. One value-initialised item always follows the
  // last, so a Growable<char> is a NUL-terminated string as it stands.
  bool append(const T* items, std::size_t count) {
    if (!reserve(size_ + count + 1)) return false;
    std::memcpy(items_ + size_, items, count * sizeof(T));
    size_ += count;
    items_[size_] = T{};
    return true;
  }
  bool push(const T& item) { return append(&item, 1); }

  void truncate(std::size_t size) {
    size_ = size;
    if (items_) items_[size_] = T{};
  }

  std::size_t size() const { return size_; }
  T* data() { return items_; }
  const T* data() const { return items_; }
  T& operator[](std::size_t i) { return items_[i]; }
  T& back() { return items_[size_ - 1]; }

 private:
  bool reserve(std::size_t wanted) {
    if (wanted <= capacity_) return true;
    std::size_t capacity = capacity_ ? capacity_ : 64;
    while (capacity < wanted) capacity *= 2;
    void* grown = std::realloc(items_, capacity * sizeof(T));
    if (!grown) return false;
    items_ = static_cast<T*>(grown);
    capacity_ = capacity;
    return true;
  }

  T* items_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};
