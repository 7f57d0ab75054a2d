#pragma once

// Where the 2×2 solver takes its scratch arrays from.
//
// The solver and its circle searches obtain every scratch array through a
// ScratchHeap that the caller names. Production code passes C_HEAP (malloc
// and free); a test build hands in a heap whose k-th allocation fails, to
// check that every failure is reported and nothing leaks. The heap is an
// argument, not a setting: nothing here is mutable, and two calls with
// different heaps never see each other.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

struct ScratchHeap {
    // A block of `bytes` bytes aligned for double, or nullptr when there is
    // no memory. It may also throw; whatever it throws leaves the solver
    // unchanged.
    void* (*allocate)(void* context, std::size_t bytes);
    // Returns a block that allocate gave out.
    void (*release)(void* context, void* block);
    void* context;
};

inline void* c_heap_allocate(void*, std::size_t bytes) { return std::malloc(bytes); }
inline void c_heap_release(void*, void* block) { std::free(block); }

// The C heap.
inline constexpr ScratchHeap C_HEAP{c_heap_allocate, c_heap_release, nullptr};

// An uninitialised array of doubles from a ScratchHeap, returned to it on
// every path out of the scope that holds it. A count of zero or less still
// takes one element, so that the array is never a null pointer. Throws
// std::bad_alloc when the heap has no memory for it.
class ScratchArray {
public:
    ScratchArray(const ScratchHeap& heap, int64_t count) : heap_(&heap)
    {
        const std::size_t elements = count > 0 ? static_cast<std::size_t>(count) : 1;
        if (static_cast<uint64_t>(count > 0 ? count : 1) > SIZE_MAX / sizeof(double)) {
            throw std::bad_alloc();
        }
        data_ = static_cast<double*>(heap.allocate(heap.context, elements * sizeof(double)));
        if (data_ == nullptr) {
            throw std::bad_alloc();
        }
    }
    ~ScratchArray() { heap_->release(heap_->context, data_); }

    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;

    double* get() const { return data_; }
    double& operator[](std::size_t i) const { return data_[i]; }

private:
    const ScratchHeap* heap_;
    double* data_ = nullptr;
};
