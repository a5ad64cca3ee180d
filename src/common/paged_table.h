// A table of a fixed number of elements whose storage is allocated a page
// at a time, the first time an element of the page is reached for writing.
// A run that uses a few elements of a large table pays for those pages only.
//
// Elements never move once their page exists, so a reference to one stays
// valid while others are reached. Reading an element through a const table
// never allocates: an element of a missing page reads as a value-initialised
// element.
#pragma once

#include <cstddef>
#include <memory>

template <typename T, size_t Size, size_t PageSize>
class PagedTable {
public:
    T& operator[](size_t index) {
        std::unique_ptr<T[]>& page = pages_[index / PageSize];
        if (!page) page = std::make_unique<T[]>(PageSize);
        return page[index % PageSize];
    }
    const T& operator[](size_t index) const {
        const std::unique_ptr<T[]>& page = pages_[index / PageSize];
        return page ? page[index % PageSize] : blank();
    }
    static constexpr size_t size() { return Size; }

private:
    static const T& blank() {
        static const T kBlank{};
        return kBlank;
    }
    std::unique_ptr<T[]> pages_[(Size + PageSize - 1) / PageSize];
};
