#pragma once

#include "Assert.h"

#include <cstdint>

namespace ffft {

// Fixed-size heap array for the transform's tables. Resizing drops the old contents.
template <class T>
class DynArray
{
public:
    DynArray() = default;
    explicit DynArray(int32_t size)
    {
        resize(size);
    }
    ~DynArray()
    {
        delete[] _data_ptr;
    }
    DynArray(const DynArray&) = delete;
    DynArray& operator=(const DynArray&) = delete;

    int32_t size() const
    {
        return _len;
    }

    void resize(int32_t size)
    {
        ffft_assert(size >= 0);
        if (size > 0) {
            T* old = _data_ptr;
            _data_ptr = new T[size];
            _len = size;
            delete[] old;
        }
    }

    const T& operator[](int32_t pos) const
    {
        ffft_assert(pos >= 0);
        ffft_assert(pos < _len);
        return _data_ptr[pos];
    }
    T& operator[](int32_t pos)
    {
        ffft_assert(pos >= 0);
        ffft_assert(pos < _len);
        return _data_ptr[pos];
    }

private:
    T* _data_ptr = nullptr;
    int32_t _len = 0;
};

} // namespace ffft
