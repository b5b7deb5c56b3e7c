#include "engine/gfx/VXHardwareBuffer.h"
#include "engine/gfx/VXIndexBuffer.h"
#include "engine/gfx/VXVertexBuffer.h"

#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <vector>

namespace vx
{
    namespace
    {

        using HardwareBufferGLTest = test::GLTest;

        GLint boundArrayBuffer()
        {
            return test::getInteger(GL_ARRAY_BUFFER_BINDING);
        }

        // The buffer's bytes, read with the binding saved and restored.
        std::vector<unsigned char> contents(const HardwareBuffer& buffer)
        {
            const GLint previous = boundArrayBuffer();
            glBindBuffer(GL_ARRAY_BUFFER, buffer.getGLName());
            std::vector<unsigned char> bytes(buffer.getSize());
            glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes.size()), bytes.data());
            glBindBuffer(GL_ARRAY_BUFFER, GLuint(previous));
            return bytes;
        }

        TEST_F(HardwareBufferGLTest, InitUpdateAndMapKeepTheCallersBinding)
        {
            GLuint other = 0;
            glGenBuffers(1, &other);
            glBindBuffer(GL_ARRAY_BUFFER, other);

            const unsigned char initial[8] = {1, 2, 3, 4, 5, 6, 7, 8};
            HardwareBuffer buffer(GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING);
            ASSERT_TRUE(buffer.init(STATIC_DRAW, sizeof(initial), initial));
            EXPECT_EQ(boundArrayBuffer(), GLint(other));
            EXPECT_NE(buffer.getGLName(), 0u);

            const unsigned char patch[2] = {90, 91};
            ASSERT_TRUE(buffer.update(6, 2, patch));
            EXPECT_EQ(boundArrayBuffer(), GLint(other));

            auto* mapped = static_cast<unsigned char*>(buffer.map(true, true));
            ASSERT_NE(mapped, nullptr);
            EXPECT_EQ(boundArrayBuffer(), GLint(other));
            EXPECT_EQ(mapped[5], 6);
            EXPECT_EQ(mapped[6], 90);
            mapped[0] = 42;
            buffer.unmap();
            EXPECT_FALSE(buffer.isMapped());
            EXPECT_EQ(boundArrayBuffer(), GLint(other));

            EXPECT_EQ(contents(buffer), (std::vector<unsigned char>{42, 2, 3, 4, 5, 6, 90, 91}));

            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glDeleteBuffers(1, &other);
        }

        TEST_F(HardwareBufferGLTest, UpdatePastTheEndIsRefusedAndChangesNothing)
        {
            const std::vector<unsigned char> initial(16, 7);
            HardwareBuffer buffer(GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING);
            ASSERT_TRUE(buffer.init(DYNAMIC_DRAW, initial.size(), initial.data()));

            const std::vector<unsigned char> patch(17, 1);
            test::LogRecorder log;
            EXPECT_FALSE(buffer.update(17, patch.data()));
            EXPECT_FALSE(buffer.update(1, 16, patch.data()));
            EXPECT_FALSE(buffer.update(15, 2, patch.data()));
            EXPECT_FALSE(buffer.update(size_t(-1), 2, patch.data())); // offset + size would wrap
            EXPECT_FALSE(buffer.update(0, 4, nullptr));
            EXPECT_EQ(log.count(logError), 5u) << log.dump();
            EXPECT_EQ(contents(buffer), initial);

            EXPECT_TRUE(buffer.update(16, patch.data()));
            EXPECT_TRUE(buffer.update(15, 1, patch.data()));
            EXPECT_EQ(contents(buffer), std::vector<unsigned char>(16, 1));
        }

        TEST_F(HardwareBufferGLTest, NoBufferAnswersFalseOrNull)
        {
            HardwareBuffer buffer(GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING);
            const unsigned char byte = 0;
            EXPECT_FALSE(buffer.update(1, &byte));
            EXPECT_EQ(buffer.map(true, false), nullptr);
            buffer.unmap(); // nothing mapped: no GL error

            ASSERT_TRUE(buffer.init(STREAM_DRAW, 4));
            EXPECT_EQ(buffer.map(false, false), nullptr);
            buffer.unmap();

            buffer.release();
            EXPECT_FALSE(buffer.isValid());
            EXPECT_FALSE(buffer.update(1, &byte));

            test::LogRecorder log;
            EXPECT_FALSE(buffer.init(HardwareBufferUsage(6), 4));
            EXPECT_FALSE(buffer.isValid());
            EXPECT_EQ(log.count(logError), 1u);
        }

        TEST_F(HardwareBufferGLTest, VertexAndIndexBuffersSizeFromTheirLayout)
        {
            VertexBuffer vertices;
            ASSERT_TRUE(vertices.init(VertexFormat("FLOAT2 FLOAT2"), 4, STATIC_DRAW));
            EXPECT_EQ(vertices.getSize(), 64u);
            EXPECT_EQ(vertices.getMaxNumVertices(), 4u);

            VertexBuffer empty;
            ASSERT_TRUE(empty.init(VertexFormat(), 4, STATIC_DRAW));
            EXPECT_EQ(empty.getMaxNumVertices(), 0u);

            GLuint otherIndices = 0;
            glGenBuffers(1, &otherIndices);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, otherIndices);

            IndexBuffer shorts;
            ASSERT_TRUE(shorts.init(INDEX_16BIT, 6, STATIC_DRAW));
            EXPECT_EQ(shorts.getSize(), 12u);
            EXPECT_EQ(shorts.getGLIndexFormat(), unsigned(GL_UNSIGNED_SHORT));
            const uint16_t indices[6] = {0, 1, 2, 2, 3, 0};
            EXPECT_TRUE(shorts.update(sizeof(indices), indices));

            EXPECT_EQ(test::getInteger(GL_ELEMENT_ARRAY_BUFFER_BINDING), GLint(otherIndices));

            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
            glDeleteBuffers(1, &otherIndices);
        }

        TEST_F(HardwareBufferGLTest, CreateBufferObjectLeavesTargetUnbound)
        {
            const float data[4] = {1.0f, 2.0f, 3.0f, 4.0f};
            const unsigned int name = vxCreateBufferObject(data, sizeof(data), GL_ARRAY_BUFFER, GL_STATIC_DRAW);
            ASSERT_NE(name, 0u);
            EXPECT_EQ(boundArrayBuffer(), 0);

            glBindBuffer(GL_ARRAY_BUFFER, name);
            float back[4] = {};
            glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(back), back);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            EXPECT_EQ(back[3], 4.0f);

            GLuint toDelete = name;
            glDeleteBuffers(1, &toDelete);

            test::LogRecorder log;
            EXPECT_EQ(vxCreateBufferObject(nullptr, -1, GL_ARRAY_BUFFER, GL_STATIC_DRAW), 0u);
            EXPECT_EQ(log.count(logError), 1u);
        }

    } // namespace
} // namespace vx
