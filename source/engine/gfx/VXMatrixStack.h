#pragma once

#include "core/VXMatrix4x4.h"

#include <deque>

namespace vx
{

    /** The renderer's stack of world, view and projection matrices with the
        derived world-view (view x world) and world-view-projection
        (projection x world-view). Never empty: one identity entry at first. */
    class MatrixStack
    {
    public:
        struct Entry
        {
            Matrix4x4 world, view, projection, worldView, worldViewProjection;
        };

        MatrixStack();

        /** Appends a copy of the top entry. */
        void push();
        /** Removes the top entry; the last one stays (error line). */
        void pop();

        void setWorldMatrix(const Matrix4x4& m);
        void setViewMatrix(const Matrix4x4& m);
        void setProjectionMatrix(const Matrix4x4& m);
        /** All five matrices of the top entry become identity. */
        void toIdentity();

        const Matrix4x4& getWorldMatrix() const { return entries.back().world; }
        const Matrix4x4& getViewMatrix() const { return entries.back().view; }
        const Matrix4x4& getProjMatrix() const { return entries.back().projection; }
        const Matrix4x4& getWorldViewMatrix() const { return entries.back().worldView; }
        const Matrix4x4& getWorldViewProjMatrix() const { return entries.back().worldViewProjection; }
        size_t getDepth() const { return entries.size(); }

    private:
        void updateDerived();

        std::deque<Entry> entries;
    };

} // namespace vx
