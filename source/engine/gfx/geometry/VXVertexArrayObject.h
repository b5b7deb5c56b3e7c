#pragma once

namespace vx
{

    /** One GL vertex array object (core calls), deleted with the wrapper.
        Render thread only. */
    class VertexArrayObject
    {
    public:
        VertexArrayObject() = default;
        ~VertexArrayObject();
        VertexArrayObject(const VertexArrayObject&) = delete;
        VertexArrayObject& operator=(const VertexArrayObject&) = delete;

        /** Makes the object (once); true when a name exists. */
        bool initialize();
        /** False without a name. */
        bool bind();
        void unbind();

        unsigned int getGLName() const { return name; }

    private:
        unsigned int name = 0;
    };

} // namespace vx
