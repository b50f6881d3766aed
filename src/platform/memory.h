// The programs' own blocks. They come from calloc, never from operator new:
// under a tight memory limit the C++ runtime may be unable to build the
// exception that even a nothrow new raises inside, and then it ends the
// process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

// n zero-filled bytes from the system's allocation, or null. A null is
// remembered: the run then ends with the message that memory ran out.
void* memoryAllocate(size_t n);
void memoryRelease(void* block);
// True once a request has failed.
bool memoryRanOut();

struct MemoryRelease {
  template <class T>
  void operator()(T* object) const {
    object->~T();
    memoryRelease(object);
  }
};
// An object or a byte block that memoryAllocate gave, with one owner.
template <class T>
using Owned = std::unique_ptr<T, MemoryRelease>;

// A T made in a block of memoryAllocate's, null when there was none. It is
// default-initialised: the block is zeros already, and a large member (the
// output's buffers) stays untouched, so not resident, until it is used.
template <class T>
Owned<T> memoryNew() {
  void* block = memoryAllocate(sizeof(T));
  return Owned<T>(block ? new (block) T : nullptr);
}

// n bytes, zero-filled; null when there were none.
inline Owned<uint8_t> memoryBytes(size_t n) {
  return Owned<uint8_t>(static_cast<uint8_t*>(memoryAllocate(n)));
}
