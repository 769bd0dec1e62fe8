// A small owned array of trivially copyable elements, zero-filled when it is
// made and freed with its owner. It is never copied: the one owner frees it.
#pragma once

#include <cstdint>
#include <new>
#include <type_traits>

#include "common/RefCountedT.h"

template <typename T>
class KvSimpleArrayT : public CRefCountedT<SingleThreadedModel> {
  static_assert(std::is_trivially_copyable_v<T>, "elements are raw storage");

 public:
  // count elements, every byte zero. A count of 0 takes no memory and leaves
  // the data pointer null. Throws std::bad_alloc (std::bad_array_new_length
  // for a negative count) when the memory cannot be had.
  explicit KvSimpleArrayT(std::int32_t count) {
    if (count < 0) throw std::bad_array_new_length();
    if (count != 0) {
      data_ = new T[static_cast<std::uint32_t>(count)]();
      count_ = count;
    }
  }
  KvSimpleArrayT(const KvSimpleArrayT&) = delete;
  KvSimpleArrayT& operator=(const KvSimpleArrayT&) = delete;
  ~KvSimpleArrayT() override {
    delete[] data_;
    data_ = nullptr;
    count_ = 0;
  }

  T* GetData() noexcept { return data_; }
  const T* GetData() const noexcept { return data_; }
  std::int32_t GetCount() const noexcept { return count_; }

  T& operator[](std::int32_t index) noexcept { return data_[index]; }
  const T& operator[](std::int32_t index) const noexcept { return data_[index]; }

 private:
  T* data_ = nullptr;
  std::int32_t count_ = 0;
};
