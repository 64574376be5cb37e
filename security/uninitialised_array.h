#pragma once
// Arrays of bytes that are written before they are read, allocated without
// zeroing them first: what std::make_unique_for_overwrite gives, for the
// standard libraries that do not have it yet (the WebAssembly build's).

#include <cstddef>
#include <memory>
#include <type_traits>

namespace security {

// `count` default-initialised elements of the array type T (T is U[]).
template <class T>
  requires std::is_unbounded_array_v<T>
std::unique_ptr<T> MakeUninitialisedArray(std::size_t count) {
  return std::unique_ptr<T>(new std::remove_extent_t<T>[count]);
}

}  // namespace security
