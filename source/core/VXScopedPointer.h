#pragma once

#include <cstddef>

namespace vx
{
    // Single owner of one object made with new.
    template <typename T>
    class ScopedPointer
    {
    public:
        ScopedPointer() = default;
        explicit ScopedPointer(T* objectToOwn) : object(objectToOwn) {}
        ~ScopedPointer() { delete object; }

        ScopedPointer(const ScopedPointer&) = delete;
        ScopedPointer& operator=(const ScopedPointer&) = delete;

        // Deletes the owned object (unless it is newObject) and takes newObject.
        void reset(T* newObject = nullptr)
        {
            if (newObject == object)
                return;
            T* old = object;
            object = newObject;
            delete old;
        }

        // Gives up ownership without deleting.
        T* release()
        {
            T* old = object;
            object = nullptr;
            return old;
        }

        T* get() const { return object; }
        T* operator->() const { return object; }
        T& operator*() const { return *object; }
        explicit operator bool() const { return object != nullptr; }

    private:
        T* object = nullptr;
    };

    // Single owner of an array made with new[].
    template <typename T>
    class ScopedArrayPointer
    {
    public:
        ScopedArrayPointer() = default;
        explicit ScopedArrayPointer(T* arrayToOwn) : array(arrayToOwn) {}
        ~ScopedArrayPointer() { delete[] array; }

        ScopedArrayPointer(const ScopedArrayPointer&) = delete;
        ScopedArrayPointer& operator=(const ScopedArrayPointer&) = delete;

        void reset(T* newArray = nullptr)
        {
            if (newArray == array)
                return;
            T* old = array;
            array = newArray;
            delete[] old;
        }

        T* release()
        {
            T* old = array;
            array = nullptr;
            return old;
        }

        T* get() const { return array; }
        T& operator[](std::size_t index) const { return array[index]; }
        explicit operator bool() const { return array != nullptr; }

    private:
        T* array = nullptr;
    };
}
