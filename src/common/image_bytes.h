// The bytes of the input image.
//
// Either bytes of its own (a vector whose elements are left as they are when
// it grows: the whole file is read over them at once, and zeroing a large
// image first only costs a pass over fresh memory) or a read-only view of the
// input file mapped into memory (read_regular_file), which the program uses
// where the system allows it: the pages of the file are then shared with the
// system's file cache instead of copied into fresh memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value) {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

class ImageBytes {
public:
    using Owned = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

    ImageBytes() = default;
    ImageBytes(const ImageBytes& other) : owned_(other.begin(), other.end()) {}
    ImageBytes(ImageBytes&& other) noexcept
        : owned_(std::move(other.owned_)), view_(other.view_), view_size_(other.view_size_), release_(other.release_) {
        other.view_ = nullptr;
        other.view_size_ = 0;
    }
    ImageBytes& operator=(ImageBytes other) noexcept {
        swap(other);
        return *this;
    }
    ~ImageBytes() { drop_view(); }

    void swap(ImageBytes& other) noexcept {
        owned_.swap(other.owned_);
        std::swap(view_, other.view_);
        std::swap(view_size_, other.view_size_);
        std::swap(release_, other.release_);
    }

    const uint8_t* data() const { return view_ ? view_ : owned_.data(); }
    size_t size() const { return view_ ? view_size_ : owned_.size(); }
    bool empty() const { return size() == 0; }
    const uint8_t* begin() const { return data(); }
    const uint8_t* end() const { return data() + size(); }
    uint8_t operator[](size_t i) const { return data()[i]; }
    size_t max_size() const { return owned_.max_size(); }

    // Bytes of its own (a view is given back first); the writable access
    // is for filling them.
    Owned& own() {
        drop_view();
        return owned_;
    }
    uint8_t* writable_data() { return own().data(); }
    void resize(size_t n) { own().resize(n); }
    template <typename It>
    void assign(It first, It last) {
        own().assign(first, last);
    }
    void clear() { own().clear(); }
    void shrink_to_fit() { owned_.shrink_to_fit(); }

    // Takes over a view of a mapped file; `release` gives it back when the
    // image is cleared, replaced or destroyed.
    using Release = void (*)(const uint8_t* data, size_t size);
    void adopt_view(const uint8_t* data, size_t size, Release release) {
        drop_view();
        Owned().swap(owned_);
        view_ = data;
        view_size_ = size;
        release_ = release;
    }
    bool is_view() const { return view_ != nullptr; }

private:
    void drop_view() {
        if (!view_) return;
        release_(view_, view_size_);
        view_ = nullptr;
        view_size_ = 0;
    }

    Owned owned_;
    const uint8_t* view_ = nullptr;
    size_t view_size_ = 0;
    Release release_ = nullptr;
};
