#include "engine/gfx/VXMatrixStack.h"

#include "core/VXLog.h"

namespace vx
{

    MatrixStack::MatrixStack()
    {
        entries.emplace_back();
    }

    void MatrixStack::push()
    {
        entries.push_back(entries.back());
    }

    void MatrixStack::pop()
    {
        if (entries.size() <= 1)
        {
            logEscapedError("pop", 53, "You cannot pop the last matrices from the stack.");
            return;
        }
        entries.pop_back();
    }

    void MatrixStack::updateDerived()
    {
        Entry& top = entries.back();
        top.worldView = top.view * top.world;
        top.worldViewProjection = top.projection * top.worldView;
    }

    void MatrixStack::setWorldMatrix(const Matrix4x4& m)
    {
        entries.back().world = m;
        updateDerived();
    }

    void MatrixStack::setViewMatrix(const Matrix4x4& m)
    {
        entries.back().view = m;
        updateDerived();
    }

    void MatrixStack::setProjectionMatrix(const Matrix4x4& m)
    {
        Entry& top = entries.back();
        top.projection = m;
        top.worldViewProjection = top.projection * top.worldView;
    }

    void MatrixStack::toIdentity()
    {
        entries.back() = Entry();
    }

} // namespace vx
